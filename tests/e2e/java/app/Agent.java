package app;

import java.lang.instrument.Instrumentation;

// Named by the manifest's Launcher-Agent-Class: runs before main.
public class Agent {
    public static void agentmain(String args, Instrumentation instrumentation) {
        System.setProperty("agent.ran", String.valueOf(instrumentation != null));
    }
}

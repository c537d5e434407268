package app;

// Prints the module access and the agent that the JAR's manifest asked for.
public class Access {
    public static void main(String[] args) throws Exception {
        Module self = Access.class.getModule();
        Module base = Object.class.getModule();
        String nativeAccess;
        try {
            nativeAccess = String.valueOf(Module.class.getMethod("isNativeAccessEnabled").invoke(self));
        } catch (NoSuchMethodException e) {
            nativeAccess = "unknown";
        }
        System.out.println("opens=" + base.isOpen("java.lang", self) + " exports="
                + base.isExported("jdk.internal.misc", self) + " native=" + nativeAccess
                + " agent=" + System.getProperty("agent.ran"));
    }
}

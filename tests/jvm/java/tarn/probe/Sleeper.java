package tarn.probe;

// Waits to be interrupted; the hook shows that the VM exited through System.exit.
public class Sleeper {
    public static void main(String[] args) throws Exception {
        Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println("hook ran")));
        System.out.println("sleeping");
        Thread.sleep(120_000);
        System.out.println("woke up");
    }
}

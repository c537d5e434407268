package app;

// Returns from main at once and leaves a thread running, as a window or a
// server does; a shutdown hook shows how the VM ended.
public class Lingerer {
    public static void main(String[] args) {
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            System.out.println("hook ran");
            System.out.flush();
        }));
        Thread main = Thread.currentThread();
        new Thread(() -> {
            try {
                main.join();
                System.out.println("main gone");
                for (int i = 0; i < 1200; i++) {
                    System.out.println("tick");
                    System.out.flush();
                    Thread.sleep(100);
                }
            } catch (InterruptedException e) {
                return;
            }
            System.out.println("lingered");
        }).start();
    }
}

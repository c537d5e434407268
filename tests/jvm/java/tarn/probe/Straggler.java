package tarn.probe;

// main returns while a non-daemon thread still has work to do.
public class Straggler {
    public static void main(String[] args) throws Exception {
        Thread worker = new Thread(() -> {
            try {
                Thread.sleep(500);
            } catch (InterruptedException e) {
                return;
            }
            System.out.println("straggler done");
        });
        worker.start();
        System.out.println("main returns");
    }
}

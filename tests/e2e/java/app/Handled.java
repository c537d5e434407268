package app;

// Its own uncaught-exception handler, then an exception out of main.
public class Handled {
    public static void main(String[] args) {
        Thread.setDefaultUncaughtExceptionHandler((thread, e) -> {
            System.out.println("handled " + e.getMessage() + " in " + thread.getName());
            System.out.flush();
        });
        throw new IllegalStateException("boom");
    }
}

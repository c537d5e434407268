package app;

public class Sleeper {
    public static void main(String[] args) throws Exception {
        System.out.println("ready");
        System.out.flush();
        Thread.sleep(60000);
        System.out.println("woke up");
    }
}

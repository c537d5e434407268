package tarn.probe;

public class Throws {
    public static void main(String[] args) {
        System.out.println("about to throw");
        throw new IllegalStateException("tarn test failure");
    }
}

package app;

public class Thrower {
    public static void main(String[] args) {
        throw new IllegalStateException("boom");
    }
}

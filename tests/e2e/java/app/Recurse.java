package app;

// Prints how deep main's thread can recurse before its stack runs out.
public class Recurse {
    static int depth;

    static void down() {
        depth++;
        down();
    }

    public static void main(String[] args) {
        try {
            down();
        } catch (StackOverflowError e) {
            System.out.println("depth=" + depth);
        }
    }
}

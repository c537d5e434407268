package app;

// Cannot be initialised without lib.jar on the class path.
public class NeedsLib {
    static final String TEXT = lib.Greeting.hello();

    public static void main(String[] args) {
        System.out.println(TEXT);
    }
}

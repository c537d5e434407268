package app;

public class UsesLib {
    public static void main(String[] args) throws Exception {
        System.out.println(Class.forName("lib.Greeting").getMethod("hello").invoke(null));
    }
}

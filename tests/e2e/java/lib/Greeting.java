package lib;

public class Greeting {
    public static String hello() {
        return "hello from lib";
    }
}

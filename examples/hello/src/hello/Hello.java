package hello;

import java.util.Arrays;

public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from " + System.getProperty("java.vendor") + " Java "
                + System.getProperty("java.version"));
        System.out.println("started as " + System.getProperty("tarn.app.path"));
        System.out.println("greeting:  " + System.getProperty("hello.greeting"));
        System.out.println("arguments: " + Arrays.toString(args));
    }
}

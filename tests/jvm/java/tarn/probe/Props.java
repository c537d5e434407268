package tarn.probe;

// Prints the system property named by each argument.
public class Props {
    public static void main(String[] names) {
        for (String name : names)
            System.out.println(name + "=[" + Text.escape(System.getProperty(name)) + "]");
    }
}

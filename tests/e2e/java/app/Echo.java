package app;

// Prints what a launched application sees: its arguments, the system
// properties and environment variables named in echo.props / echo.env.
public class Echo {
    public static void main(String[] args) {
        System.out.println("args=" + args.length);
        for (String a : args) {
            System.out.println("arg=" + a);
        }
        for (String name : System.getProperty("echo.props", "").split(",")) {
            if (!name.isEmpty()) {
                System.out.println("prop " + name + "=" + System.getProperty(name));
            }
        }
        for (String name : System.getProperty("echo.env", "").split(",")) {
            if (!name.isEmpty()) {
                System.out.println("env " + name + "=" + System.getenv(name));
            }
        }
        System.err.println("echo done");
    }
}

package app;

// Ends through System.exit, where the VM's exit work runs inside the call.
public class Exits {
    public static void main(String[] args) {
        System.out.println("exiting");
        System.exit(3);
    }
}

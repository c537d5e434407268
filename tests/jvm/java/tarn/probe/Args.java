package tarn.probe;

public class Args {
    public static void main(String[] args) {
        System.out.println("count=" + args.length);
        for (int i = 0; i < args.length; ++i)
            System.out.println("arg" + i + "=[" + Text.escape(args[i]) + "]");
    }
}

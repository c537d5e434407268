package tarn.probe;

// Prints text in ASCII whatever the console's charset, so tests compare exact code units.
final class Text {
    static String escape(String s) {
        if (s == null)
            return "(null)";
        StringBuilder b = new StringBuilder();
        for (char c : s.toCharArray()) {
            if (c >= 0x20 && c < 0x7F && c != '\\')
                b.append(c);
            else
                b.append(String.format("\\u%04X", (int) c));
        }
        return b.toString();
    }
}

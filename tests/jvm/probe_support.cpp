#include "jvm/probe_support.h"

namespace tarn::test {

bool ProbeRun::has(const std::string& line) const {
    return lineIndex(out, line) >= 0;
}

std::string nativePath(const std::string& path) {
    return fs::absolute(fs::path(path)).make_preferred().string();
}

ProbeRun runProbe(const std::vector<std::string>& args) {
    TempDir scratch;
    std::string errFile = (scratch / "stderr.txt").string();
    std::string command = quoteArgument(nativePath(TARN_JVM_PROBE));
    for (const std::string& arg : args)
        command += " " + probeArgument(arg);
    command += " 2>" + quoteArgument(errFile);
    ProcessResult result = runCommand(command);
    ProbeRun run;
    run.status = result.status;
    run.out = result.out;
    run.err = readFile(errFile);
    // Windows pipes keep the carriage returns; the lines are compared without them.
    for (std::string* text : {&run.out, &run.err}) {
        std::string clean;
        for (char c : *text)
            if (c != '\r')
                clean += c;
        *text = clean;
    }
    return run;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int lineIndex(const std::string& text, const std::string& line) {
    int index = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, end - start, line) == 0)
            return index;
        ++index;
        start = end + 1;
    }
    return -1;
}

} // namespace tarn::test

// A stand-in for the analysis product's executable, for the demonstration run only: it "solves"
// an AVE archive by adding up its loads and compares the sum with the expected result. An archive
// may say how long the solver takes ("Seconds=12"), so a demonstration night can have a slow AVE.
//
//   KavFrame.exe <archive> <result file>
//
// Exit code 0 when the result matches, 1 when it does not, 2 when the archive cannot be read.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: KavFrame <archive> <result file>\n");
        return 2;
    }
    std::ifstream archive(argv[1]);
    if (!archive) {
        return 2;
    }
    double computed = 0.0;
    double expected = 0.0;
    bool haveExpected = false;
    double seconds = 0.0;
    std::string line;
    while (std::getline(archive, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("Load=", 0) == 0) {
            std::istringstream loads(line.substr(5));
            for (double load = 0.0; loads >> load;) {
                computed += load;
            }
        } else if (line.rfind("Seconds=", 0) == 0) {
            seconds = std::stod(line.substr(8));
        } else if (line.rfind("Expected=", 0) == 0) {
            expected = std::stod(line.substr(9));
            haveExpected = true;
        }
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const bool passed = haveExpected && std::fabs(computed - expected) <= 1e-9 * (1.0 + std::fabs(expected));
    std::ofstream result(argv[2], std::ios::trunc);
    result << "Computed=" << computed << "\r\nExpected=" << expected << "\r\nOutcome="
           << (passed ? "Passed" : "Failed") << "\r\n";
    return passed ? 0 : 1;
}

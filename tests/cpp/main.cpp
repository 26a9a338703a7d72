// Runs every registered case and reports each failure, then "N passed, N failed".
#include <cstdio>
#include <string>

#include "check.hpp"

namespace lorvane::testing {
namespace {

int failures_in_case = 0;
constexpr int kReportedPerCase = 10;

}  // namespace

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

void record_failure(const char* file, int line, const std::string& what) {
    if (failures_in_case++ < kReportedPerCase) std::printf("  %s:%d: %s\n", file, line, what.c_str());
}

}  // namespace lorvane::testing

int main() {
    using namespace lorvane::testing;
    int passed = 0, failed = 0;
    for (const Case& c : cases()) {
        failures_in_case = 0;
        c.run();
        if (failures_in_case == 0) {
            ++passed;
            std::printf("ok      %s\n", c.name);
        } else {
            ++failed;
            std::printf("FAILED  %s (%d checks)\n", c.name, failures_in_case);
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

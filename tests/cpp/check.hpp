// A small test harness: cases register themselves by name, checks record what failed,
// and the runner ends with the counts of cases passed and failed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lorvane::testing {

struct Case {
    const char* name;
    void (*run)();
};

std::vector<Case>& cases();

struct Registration {
    Registration(const char* name, void (*run)()) { cases().push_back({name, run}); }
};

// Records a failure of the running case, with where and what.
void record_failure(const char* file, int line, const std::string& what);

}  // namespace lorvane::testing

#define TEST_CASE(name)                                                                     \
    static void name();                                                                     \
    static const ::lorvane::testing::Registration name##_registration(#name, &name);       \
    static void name()

// CHECK(condition, what): `what` (anything a std::string is built from) says which
// input failed.
#define CHECK(condition, what)                                                              \
    do {                                                                                    \
        if (!(condition)) ::lorvane::testing::record_failure(__FILE__, __LINE__, (what));   \
    } while (false)

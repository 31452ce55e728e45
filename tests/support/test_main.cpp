// The main() of every test program. Under CI=true a skipped test fails the
// run: CI installs every package and runs as root, so a skip there means a
// check silently did not happen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool onCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// Lists the skipped tests; their number.
int reportSkipped() {
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    int skipped = 0;
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
        const testing::TestSuite& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            const testing::TestInfo& test = *suite.GetTestInfo(t);
            if (test.should_run() && test.result()->Skipped()) {
                std::fprintf(stderr, "CI=true: %s.%s was skipped, which CI does not allow\n",
                             suite.name(), test.name());
                ++skipped;
            }
        }
    }
    return skipped;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (onCi() && reportSkipped() > 0) {
        return 1;
    }
    return result;
}

#include "leadingnumber.h"

#include <QString>

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

namespace {

struct Reading
{
    const char *text; // UTF-8
    bool columns;     // the column box's 16-bit range, otherwise a size box's 32-bit one
    std::optional<qint32> value;
};

std::ostream &operator<<(std::ostream &out, const Reading &r)
{
    return out << '"' << r.text << "\" in the " << (r.columns ? "column" : "size") << " box";
}

class LeadingNumber : public testing::TestWithParam<Reading>
{
};

} // namespace

TEST_P(LeadingNumber, IsTheNonZeroNumberTheTextStartsWithWhenItFits)
{
    // A box reads as the whole number its text starts with; 0, no number and a number too wide for the value read as nothing.
    const Reading &r = GetParam();
    const qint32 min = r.columns ? std::numeric_limits<qint16>::min() : std::numeric_limits<qint32>::min();
    const qint32 max = r.columns ? std::numeric_limits<qint16>::max() : std::numeric_limits<qint32>::max();
    EXPECT_EQ(readLeadingNumber(QString::fromUtf8(r.text), min, max), r.value);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, LeadingNumber,
    testing::Values(Reading{"8", true, 8}, Reading{" \t+12px", false, 12}, Reading{"-5", true, -5},
                    Reading{"00042", false, 42}, Reading{"1 2", false, 1}, Reading{"", true, std::nullopt},
                    Reading{"0", true, std::nullopt}, Reading{"-000", false, std::nullopt},
                    Reading{"abc12", false, std::nullopt}, Reading{"+-3", false, std::nullopt},
                    Reading{"\xEF\xBC\x91\xEF\xBC\x92", false, std::nullopt}, // full-width digits
                    Reading{"32767", true, 32767}, Reading{"32768", true, std::nullopt}, Reading{"32768", false, 32768},
                    Reading{"-32768", true, -32768}, Reading{"-32769", true, std::nullopt},
                    Reading{"2147483647", false, 2147483647}, Reading{"2147483648", false, std::nullopt},
                    Reading{"-2147483648", false, std::numeric_limits<qint32>::min()},
                    Reading{"99999999999999999999999999", false, std::nullopt}));

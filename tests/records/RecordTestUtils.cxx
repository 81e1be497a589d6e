#include "RecordTestUtils.h"

namespace recordtest
{
std::atomic<int> CountedStatus::Live{ 0 };
std::function<void(int)> CountedStatus::OnDelete;
}

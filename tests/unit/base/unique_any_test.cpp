// Handle owners close each handle exactly once, and never an invalid one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "base/unique_any.h"
#include "base/unique_socket.h"

namespace tavrin {
namespace {

std::map<int, int> closes;  // handle -> times closed
void CountClose(int handle) { ++closes[handle]; }
using Counted = unique_any<int, CountClose, -1>;

std::map<void*, int> pointerCloses;
void CountPointerClose(void* handle) { ++pointerCloses[handle]; }

TEST(UniqueAny, ClosesEveryHandleOnceWhateverWayItLeaves) {
  closes.clear();
  {
    Counted empty;
    EXPECT_FALSE(empty);
    Counted a(1);
    EXPECT_TRUE(a);
    Counted b(std::move(a));  // moved: only b closes 1
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), 1);

    Counted c(2);
    c = std::move(b);  // 2 closed now, 1 handed over
    EXPECT_EQ(closes, (std::map<int, int>{{2, 1}}));
    auto& self = c;
    c = std::move(self);  // moving onto itself keeps the handle
    EXPECT_EQ(c.get(), 1);

    c.reset(1);  // the handle already held: not closed under the owner's feet
    c.reset(3);  // 1 closed
    Counted d(4);
    int released = d.release();  // the caller owns 4 now
    EXPECT_EQ(released, 4);
    EXPECT_FALSE(d);

    Counted e(5);
    *e.put() = 6;  // an out-parameter: 5 closed first, then 6 owned
    EXPECT_EQ(e.get(), 6);
  }
  // -1 (invalid) never reaches the close function; 4 was released.
  EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}, {3, 1}, {5, 1}, {6, 1}}));
}

// INVALID_HANDLE_VALUE-style kinds: all bits set is empty, null is a handle.
TEST(UniqueAny, InvalidValueIsTheKindsOwnAndRealHandlesAreReallyClosed) {
  pointerCloses.clear();
  {
    unique_any<void*, CountPointerClose, -1> fileLike;
    EXPECT_FALSE(fileLike);
    unique_any<void*, CountPointerClose, -1> nullHandle(nullptr);
    EXPECT_TRUE(nullHandle);
  }
  EXPECT_EQ(pointerCloses, (std::map<void*, int>{{nullptr, 1}}));

  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  {
    unique_socket reader(ends[0]);
    unique_socket writer(ends[1]);
    writer.reset();
    EXPECT_EQ(fcntl(ends[1], F_GETFD), -1);
    EXPECT_NE(fcntl(ends[0], F_GETFD), -1);
  }
  EXPECT_EQ(fcntl(ends[0], F_GETFD), -1);
}

TEST(ScopeExit, RunsOnceAtTheEndOrEarlyAndNeverWhenDismissed) {
  int runs = 0;
  {
    auto guard = scope_exit([&] { ++runs; });
  }
  EXPECT_EQ(runs, 1);
  {
    auto guard = scope_exit([&] { ++runs; });
    guard.reset();
    EXPECT_EQ(runs, 2);
  }
  EXPECT_EQ(runs, 2);
  {
    auto guard = scope_exit([&] { ++runs; });
    guard.dismiss();
  }
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace tavrin

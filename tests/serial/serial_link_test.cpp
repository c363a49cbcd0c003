// The read and write rules of SerialLink, on a fake port whose bytes arrive at set times on a
// fake clock: every timing case runs in microseconds and means the same on every platform.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "serial/serial_link.h"

namespace velkorin {
namespace {

constexpr std::uint32_t kByteWaitMs = 2000;  // what one platform read of one byte waits at most

class FakeClock final : public Clock {
 public:
  std::uint32_t now = 0;
  std::uint32_t slept = 0;
  std::uint32_t NowMs() override { return now; }
  void SleepMs(std::uint32_t ms) override {
    now += ms;
    slept += ms;
  }
};

// True when `a` is at or before `b` on a clock that wraps.
bool NotAfter(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(a - b) <= 0;
}

class FakePort final : public SerialPort {
 public:
  explicit FakePort(FakeClock& clock) : clock_(clock) {}

  // Set-up, by the test.
  bool openSucceeds = true;
  bool writeSucceeds = true;
  bool drainSucceeds = true;
  LinkError error{13, "Permission denied", true};
  std::optional<std::uint32_t> hangUpAt;  // reads fail from this time on
  void Arrive(std::uint32_t at, const std::string& bytes) {
    for (char c : bytes)
      arrivals_.push_back({at, static_cast<std::uint8_t>(c)});
  }

  // What the link did.
  std::vector<std::string> calls;
  std::string written;
  std::uint32_t drainLimit = 0;

  bool Open(const std::string& name, std::uint32_t speed) override {
    calls.push_back("open " + name + " " + std::to_string(speed));
    open_ = openSucceeds;
    return open_;
  }
  void Close() override {
    calls.push_back("close");
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  void PurgeOutput() override { calls.push_back("purge"); }
  bool WriteAll(const std::uint8_t* data, std::size_t length) override {
    calls.push_back("write");
    written.assign(reinterpret_cast<const char*>(data), length);
    return writeSucceeds;
  }
  bool Drain(std::uint32_t limitMs) override {
    calls.push_back("drain");
    drainLimit = limitMs;
    return drainSucceeds;
  }
  ByteRead ReadByte(std::uint8_t& byte) override {
    if (!open_)
      return ByteRead::Failed;
    const std::uint32_t deadline = clock_.now + kByteWaitMs;
    const bool byteFirst = !arrivals_.empty() && NotAfter(arrivals_.front().at, deadline) &&
                           (!hangUpAt || !NotAfter(*hangUpAt, arrivals_.front().at));
    if (byteFirst) {
      if (!NotAfter(arrivals_.front().at, clock_.now))
        clock_.now = arrivals_.front().at;
      byte = arrivals_.front().byte;
      arrivals_.pop_front();
      return ByteRead::Byte;
    }
    if (hangUpAt && NotAfter(*hangUpAt, deadline)) {
      if (!NotAfter(*hangUpAt, clock_.now))
        clock_.now = *hangUpAt;
      return ByteRead::Failed;
    }
    clock_.now = deadline;
    return ByteRead::Empty;
  }
  std::size_t QueuedInput() override {
    std::size_t n = 0;
    while (n < arrivals_.size() && NotAfter(arrivals_[n].at, clock_.now))
      ++n;
    return n;
  }
  LinkError LastError() const override { return error; }

  std::size_t StillToCome() const { return arrivals_.size(); }

 private:
  struct Arrival {
    std::uint32_t at;
    std::uint8_t byte;
  };
  FakeClock& clock_;
  std::deque<Arrival> arrivals_;
  bool open_ = false;
};

struct Rig {
  FakeClock clock;
  FakePort* port;
  SerialLink link;

  explicit Rig(std::uint32_t start = 1000) : link(MakePort(), clock) {
    clock.now = start;
    EXPECT_TRUE(link.Open("ttyUSB0", 115200));
    port->calls.clear();
  }
  std::unique_ptr<SerialPort> MakePort() {
    auto p = std::make_unique<FakePort>(clock);
    port = p.get();
    return p;
  }
};

struct ReadCase {
  const char* name;
  int count;
  std::uint32_t firstByteLimitMs;
  std::vector<std::pair<std::uint32_t, std::string>> arrivals;  // ms after the call, bytes
  std::optional<std::uint32_t> hangUpAfterMs;
  bool result;
  std::string stored;
  std::uint32_t endsAfterMs;
};

const ReadCase kReadCases[] = {
    {"whole reply already waiting", 5, 1000, {{0, "ABCDE"}}, {}, true, "ABCDE", 0},
    {"first byte late but inside the limit", 5, 1000, {{900, "ABCDE"}}, {}, true, "ABCDE", 900},
    // The caller's limit is only compared from the second empty read on, 4 s after the call.
    {"first byte at 3 s still counts", 5, 1000, {{3000, "ABCDE"}}, {}, true, "ABCDE", 3000},
    {"first byte at 3 s even with a 200 ms limit",
     5,
     200,
     {{3000, "ABCDE"}},
     {},
     true,
     "ABCDE",
     3000},
    {"no answer, 200 ms limit", 5, 200, {}, {}, false, "", 4002},
    {"no answer, 1000 ms limit", 5, 1000, {}, {}, false, "", 4002},
    {"no answer, 2000 ms limit", 5, 2000, {}, {}, false, "", 4002},
    {"bytes dribbling in",
     5,
     1000,
     {{10, "A"}, {20, "B"}, {30, "C"}, {40, "D"}, {50, "E"}},
     {},
     true,
     "ABCDE",
     50},
    {"a gap after a byte inside one empty read",
     5,
     1000,
     {{0, "AB"}, {1500, "CDE"}},
     {},
     true,
     "ABCDE",
     1500},
    {"a gap after a byte ended by the second read",
     5,
     1000,
     {{0, "AB"}, {3000, "CDE"}},
     {},
     true,
     "ABCDE",
     3000},
    {"two empty reads after a byte end the call",
     5,
     1000,
     {{0, "AB"}, {4500, "CDE"}},
     {},
     false,
     "AB",
     4002},
    {"a reply that stops short fails 4 s after its last byte",
     5,
     1000,
     {{700, "AB"}},
     {},
     false,
     "AB",
     4702},
    {"bytes waiting at the deadline keep the call going",
     5,
     1000,
     {{0, "AB"}, {4002, "CDE"}},
     {},
     true,
     "ABCDE",
     4002},
    {"a byte restarts the idle clock",
     5,
     1000,
     {{0, "AB"}, {2500, "C"}, {4600, "DE"}},
     {},
     true,
     "ABCDE",
     4600},
    {"more bytes than asked", 5, 1000, {{0, "ABCDEFG"}}, {}, true, "ABCDE", 0},
    {"a hang-up mid-reply fails at once", 5, 1000, {{0, "AB"}}, 10, false, "AB", 10},
};

class ReadRules : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ReadRules, FollowTheTable) {
  for (const ReadCase& c : kReadCases) {
    SCOPED_TRACE(c.name);
    const std::uint32_t start = GetParam();
    Rig l(start);
    for (const auto& [after, bytes] : c.arrivals)
      l.port->Arrive(start + after, bytes);
    if (c.hangUpAfterMs)
      l.port->hangUpAt = start + *c.hangUpAfterMs;

    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(c.count) + 4, 0xEE);
    EXPECT_EQ(l.link.Read(buffer.data(), c.count, c.firstByteLimitMs), c.result);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(c.stored.size())),
              c.stored);
    // Never a byte past what was stored, and never past the count.
    for (std::size_t i = c.stored.size(); i < buffer.size(); ++i)
      EXPECT_EQ(buffer[i], 0xEE) << i;
    EXPECT_EQ(l.clock.now - start, c.endsAfterMs);
    if (c.endsAfterMs == 0) {
      EXPECT_EQ(l.clock.slept, 0u);
    }
  }
}

// Once from an ordinary clock value, once from just before the 32-bit millisecond clock wraps,
// so every wait of the table crosses the wrap.
INSTANTIATE_TEST_SUITE_P(Clock, ReadRules, ::testing::Values(1000u, 0xFFFFF800u));

TEST(SerialLinkRead, SurplusBytesWaitForTheNextRead) {
  Rig l;
  l.port->Arrive(l.clock.now, "ABCDEFG");
  std::uint8_t first[5];
  ASSERT_TRUE(l.link.Read(first, 5, 1000));
  // The next command's write does not drop received input.
  const std::uint8_t query[] = {':', 'P', '5', '0', '\r'};
  ASSERT_TRUE(l.link.Write(query, 5, 200));
  std::uint8_t second[2];
  ASSERT_TRUE(l.link.Read(second, 2, 1000));
  EXPECT_EQ(std::string(second, second + 2), "FG");
}

TEST(SerialLinkRead, NothingAskedTouchesNothing) {
  Rig l;
  l.port->Arrive(l.clock.now, "A");
  std::uint8_t buffer[1] = {0xEE};
  EXPECT_TRUE(l.link.Read(buffer, 0, 1000));
  EXPECT_FALSE(l.link.Read(buffer, -1, 1000));
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(l.port->StillToCome(), 1u);
}

TEST(SerialLinkRead, KeepsTheErrorOfAFailedRead) {
  Rig l;
  l.port->hangUpAt = l.clock.now;
  l.port->error = {5, "read: Input/output error", false};
  std::uint8_t buffer[5];
  EXPECT_FALSE(l.link.Read(buffer, 5, 1000));
  EXPECT_EQ(l.link.LastError().code, 5);
  EXPECT_EQ(l.link.LastError().text, "read: Input/output error");
}

TEST(SerialLinkRead, ATimeOutIsNotASystemError) {
  Rig l;
  std::uint8_t buffer[5];
  EXPECT_FALSE(l.link.Read(buffer, 5, 1000));
  EXPECT_EQ(l.link.LastError().code, 0);
  EXPECT_FALSE(l.link.LastError().text.empty());
}

TEST(SerialLinkRead, FailsWithoutAPort) {
  FakeClock clock;
  auto owned = std::make_unique<FakePort>(clock);
  FakePort* port = owned.get();
  SerialLink link(std::move(owned), clock);
  port->Arrive(0, "ABCDE");
  std::uint8_t buffer[5];
  EXPECT_FALSE(link.Read(buffer, 5, 1000));
}

struct WriteCase {
  const char* name;
  bool open, writeSucceeds, drainSucceeds;
  bool result;
  std::vector<std::string> calls;
};

TEST(SerialLinkWrite, FollowsTheTable) {
  const WriteCase cases[] = {
      {"no port held", false, true, true, false, {}},
      {"all sent and drained", true, true, true, true, {"purge", "write", "drain"}},
      {"the system refuses the bytes", true, false, true, false, {"purge", "write"}},
      {"bytes still queued at the drain limit",
       true,
       true,
       false,
       false,
       {"purge", "write", "drain"}},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig l;
    if (!c.open)
      l.link.Close();
    l.port->calls.clear();
    l.port->writeSucceeds = c.writeSucceeds;
    l.port->drainSucceeds = c.drainSucceeds;
    const std::uint8_t frame[] = {':', 'O', '4', 'F', '\r'};
    EXPECT_EQ(l.link.Write(frame, 5, 500), c.result);
    EXPECT_EQ(l.port->calls, c.calls);
    if (c.result) {
      EXPECT_EQ(l.port->written, ":O4F\r");
      EXPECT_EQ(l.port->drainLimit, 500u);
    } else {
      EXPECT_FALSE(l.link.LastError().text.empty());
    }
  }
}

TEST(SerialLinkOpen, AFailedOpenHoldsNothingAndKeepsTheReason) {
  FakeClock clock;
  auto owned = std::make_unique<FakePort>(clock);
  FakePort* port = owned.get();
  SerialLink link(std::move(owned), clock);
  port->openSucceeds = false;
  EXPECT_FALSE(link.Open("ttyUSB7", 115200));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.LastError().code, 13);
  EXPECT_TRUE(link.LastError().permissionDenied);
}

TEST(SerialLinkOpen, ClosesTheHeldPortFirstEvenWhenTheNewOneFails) {
  Rig l;
  l.port->openSucceeds = false;
  EXPECT_FALSE(l.link.Open("ttyUSB1", 115200));
  EXPECT_EQ(l.port->calls, (std::vector<std::string>{"close", "open ttyUSB1 115200"}));
  EXPECT_FALSE(l.link.IsOpen());
}

TEST(SerialLinkClose, ASecondCloseDoesNothing) {
  Rig l;
  l.link.Close();
  l.link.Close();
  EXPECT_EQ(l.port->calls, std::vector<std::string>{"close"});
}

}  // namespace
}  // namespace velkorin

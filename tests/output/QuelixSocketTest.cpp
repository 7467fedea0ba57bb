#include "output/QuelixSocket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// A connected loopback pair: client -> server, on an ephemeral port.
struct Pair {
  QuelixSocket listener;
  QuelixSocket client;
  QuelixSocket server{false};

  Pair() {
    EXPECT_TRUE(listener.Bind(0));
    EXPECT_TRUE(listener.Listen(1));
    EXPECT_TRUE(client.Connect("localhost", listener.LocalPort()));
    EXPECT_TRUE(listener.Select(5000));
    EXPECT_TRUE(listener.Accept(&server));
  }
};

void SendText(QuelixSocket& socket, const std::string& text) {
  ASSERT_EQ(socket.Send(text.data(), static_cast<int>(text.size())), static_cast<int>(text.size()));
}

}  // namespace

TEST(QuelixSocketTest, CarriesBytesBothWaysAndPollsReadability) {
  Pair pair;
  EXPECT_FALSE(pair.server.Select(0)) << "nothing sent yet";
  SendText(pair.client, "ping");
  EXPECT_TRUE(pair.server.Select(5000));
  char buffer[4];
  EXPECT_EQ(pair.server.RecvBlock(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "ping");
  SendText(pair.server, "pong");
  EXPECT_EQ(pair.client.RecvBlock(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "pong");
  EXPECT_EQ(pair.server.GetErrorString(), nullptr);
}

TEST(QuelixSocketTest, TerminatedReadStopsRightAfterTheTerminator) {
  Pair pair;
  SendText(pair.client, "run.bin;7;;X");
  char buffer[513];
  EXPECT_EQ(pair.server.RecvBlock(buffer, 512, ";;"), 11);
  EXPECT_STREQ(buffer, "run.bin;7;;");
  char next;
  EXPECT_EQ(pair.server.Recv(&next, 1), 1);
  EXPECT_EQ(next, 'X') << "the byte after the terminator stays unread";
}

TEST(QuelixSocketTest, TerminatedReadNeverFillsMoreThanTheLength) {
  Pair pair;
  SendText(pair.client, std::string(600, 'a'));
  char buffer[513];
  buffer[512] = 'z';
  EXPECT_EQ(pair.server.RecvBlock(buffer, 512, ";;"), 512);
  EXPECT_EQ(buffer[512], '\0');
  EXPECT_EQ(std::strlen(buffer), 512u);
}

TEST(QuelixSocketTest, ReadsReturnWhatArrivedWhenThePeerCloses) {
  Pair pair;
  SendText(pair.client, "name;3");
  pair.client.Close();
  char buffer[513];
  EXPECT_EQ(pair.server.RecvBlock(buffer, 512, ";;"), 6);
  EXPECT_STREQ(buffer, "name;3");
  EXPECT_EQ(pair.server.RecvBlock(buffer, 8), 0);
  EXPECT_TRUE(pair.server.Select(0)) << "a closed connection reads as readable";
  EXPECT_EQ(pair.server.GetErrorString(), nullptr) << "an orderly close is not a failure";
}

TEST(QuelixSocketTest, SendingToAClosedPeerFailsWithoutKillingTheProcess) {
  Pair pair;
  pair.client.Close();
  const std::string block(65536, 'b');
  int result = 1;
  for (int i = 0; i < 100 && result >= 1; ++i) result = pair.server.Send(block.data(), static_cast<int>(block.size()));
  EXPECT_LT(result, 1);
}

TEST(QuelixSocketTest, BindReportsOnlyFailuresOtherThanAddressInUse) {
  QuelixSocket first;
  ASSERT_TRUE(first.Bind(0));
  ASSERT_TRUE(first.Listen(1));
  QuelixSocket second;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(second.Bind(first.LocalPort()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(second.GetErrorString(), nullptr);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(first.Bind(0)) << "a socket binds only once";
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_EQ(message.rfind("error in bind.  errno=", 0), 0u) << message;
  EXPECT_NE(message.find(" (Port=0)\n"), std::string::npos) << message;
  ASSERT_NE(first.GetErrorString(), nullptr);
}

TEST(QuelixSocketTest, FailuresOnASocketWithoutDescriptorAreReported) {
  QuelixSocket empty(false);
  EXPECT_EQ(empty.Descriptor(), -1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(empty.Select(0));
  EXPECT_FALSE(empty.Listen(5));
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("error in select9\n"), std::string::npos) << messages;
  EXPECT_NE(messages.find("error in listen9\n"), std::string::npos) << messages;
  EXPECT_STREQ(empty.GetErrorString(), "error in listen9");
  EXPECT_LT(empty.Send("x", 1), 1);
  empty.Close();
  EXPECT_EQ(empty.Descriptor(), -1);
}

TEST(QuelixSocketTest, ConnectFailsOnAnUnknownHostOrAClosedPort) {
  QuelixSocket probe;
  ASSERT_TRUE(probe.Bind(0));
  const unsigned short freePort = probe.LocalPort();
  probe.Close();  // bound, never listened: nothing accepts there now

  testing::internal::CaptureStderr();
  QuelixSocket toNowhere;
  EXPECT_FALSE(toNowhere.Connect("", 80));
  QuelixSocket refused;
  EXPECT_FALSE(refused.Connect("127.0.0.1", freePort));
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("error in connect: errno="), std::string::npos) << messages;
  EXPECT_NE(refused.GetErrorString(), nullptr);
}

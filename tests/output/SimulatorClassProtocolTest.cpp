// The simulator's side of the manager protocol and its binary results file,
// driven in-process on a configured (not built) simulator and checked with a
// manager written from the protocol's bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "output/ManagerClient.h"
#include "output/QuelixSocket.h"
#include "results/ResultsReader.h"
#include "simulator/SimulatorClass.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReplyBytes(int marker, int code) {
  const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
  std::string bytes("\x00\x00\x00\x0a", 4);
  bytes += static_cast<char>(marker);
  bytes += static_cast<char>(code);
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((pid >> shift) & 0xff);
  return bytes;
}

const std::string kDefaultHeaderText =
    "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=0,SEED=31415,"
    "RANDOMGEN=Lagged Fibonacci,BATCHES=0,,";

class SimulatorProtocolTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/gpusim-protocol-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    sim_.reset();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Connects the test's manager to the simulator, which owns its end.
  void Connect() {
    QuelixSocket listener;
    ASSERT_TRUE(listener.Bind(0));
    ASSERT_TRUE(listener.Listen(1));
    ASSERT_TRUE(manager_.Connect(listener.LocalPort()));
    auto server = std::make_unique<QuelixSocket>(false);
    ASSERT_TRUE(listener.Accept(server.get()));
    sim_->SimMgrSocket = server.release();
  }

  // Sends bytes, then lets the simulator poll until it has seen them all.
  void Command(const std::string& bytes) {
    ASSERT_TRUE(manager_.Send(bytes));
    ASSERT_TRUE(sim_->SimMgrSocket->Select(5000));
    sim_->ListenToSimMgr(sim_->SimMgrSocket);
  }

  std::ostringstream out_, err_;
  std::unique_ptr<SimulatorClass> sim_ = std::make_unique<SimulatorClass>(out_, err_);
  manager::Client manager_;
  std::string dir_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

TEST_F(SimulatorProtocolTest, CommandOneIsAnsweredAndChangesNothing) {
  Connect();
  Command("\x01");
  EXPECT_EQ(manager_.Read(10), ReplyBytes(255, 1));
  EXPECT_EQ(sim_->RunState, 0);
  EXPECT_NE(sim_->SimMgrSocket, nullptr);
}

TEST_F(SimulatorProtocolTest, CommandTwoQuitsTheRun) {
  Connect();
  testing::internal::CaptureStdout();
  Command("\x02");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SOCKET::Quit\n");
  EXPECT_EQ(manager_.Read(10), ReplyBytes(254, 2));
  EXPECT_EQ(sim_->RunState, 2);
}

TEST_F(SimulatorProtocolTest, CommandThreeHandsTheRunOverToABinaryFile) {
  Connect();
  const std::string path = dir_ + "/mgr.bin";
  Command("\x03" + path + ";7;;");
  EXPECT_EQ(manager_.Read(10), ReplyBytes(255, 3));
  EXPECT_TRUE(manager_.AtEnd()) << "the simulator closes the connection";
  EXPECT_EQ(sim_->SimMgrSocket, nullptr);
  EXPECT_EQ(sim_->MaxBatches, 7);
  EXPECT_EQ(sim_->BinaryFileName, path);
  ASSERT_TRUE(sim_->BinaryFile && sim_->BinaryFile->is_open());
  EXPECT_EQ(sim_->RunState, 0);
  EXPECT_EQ(Slurp(path).substr(0, kDefaultHeaderText.size()), kDefaultHeaderText);
}

TEST_F(SimulatorProtocolTest, CommandThreeKeepsAFileGivenOnTheCommandLine) {
  sim_->BinaryFileName = dir_ + "/given.bin";
  sim_->MaxBatches = 40;
  Connect();
  Command("\x03" + dir_ + "/other.bin;7;;");
  EXPECT_EQ(manager_.Read(10), ReplyBytes(255, 3));
  EXPECT_TRUE(manager_.AtEnd());
  EXPECT_EQ(sim_->SimMgrSocket, nullptr);
  EXPECT_EQ(sim_->MaxBatches, 40);
  EXPECT_EQ(sim_->BinaryFileName, dir_ + "/given.bin");
  EXPECT_FALSE(std::ifstream(dir_ + "/other.bin").good());
}

TEST_F(SimulatorProtocolTest, CommandThreeActsOnAtMost512BytesAndFailsWhenCutShort) {
  Connect();
  const std::string path = dir_ + "/long.bin";
  // The count's piece runs past 512 bytes: only the first 512 are read.
  Command("\x03" + path + ";12;" + std::string(1000, '9') + ";;");
  EXPECT_EQ(manager_.Read(10), ReplyBytes(255, 3));
  EXPECT_EQ(sim_->MaxBatches, 12);
  EXPECT_EQ(sim_->BinaryFileName, path);
  EXPECT_EQ(sim_->SimMgrSocket, nullptr);

  // A manager that closes before the terminator has handed nothing over.
  sim_ = std::make_unique<SimulatorClass>(out_, err_);
  sim_->MaxBatches = 9;
  Connect();
  const std::string cut = dir_ + "/cut.bin";
  ASSERT_TRUE(manager_.Send("\x03" + cut + ";4"));
  manager_.ShutdownWrite();
  testing::internal::CaptureStderr();
  ASSERT_TRUE(sim_->SimMgrSocket->Select(5000));
  sim_->ListenToSimMgr(sim_->SimMgrSocket);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("closed the connection in the middle of command 3"),
            std::string::npos);
  EXPECT_EQ(sim_->RunState, 2);
  EXPECT_EQ(sim_->ExitStatus, 1);
  EXPECT_EQ(sim_->MaxBatches, 9);
  EXPECT_FALSE(sim_->BinaryFile);
  EXPECT_FALSE(std::ifstream(cut).good());
}

TEST_F(SimulatorProtocolTest, ACommandThreeFileThatCannotBeOpenedStopsTheRunWithAnError) {
  Connect();
  testing::internal::CaptureStderr();
  Command("\x03" + dir_ + "/missing-dir/x.bin;7;;");
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Cannot open the binary results file"), std::string::npos) << errors;
  EXPECT_EQ(sim_->RunState, 2);
  EXPECT_EQ(sim_->ExitStatus, 1);
  EXPECT_FALSE(sim_->BinaryFile);
  EXPECT_EQ(sim_->SimMgrSocket, nullptr);
}

TEST_F(SimulatorProtocolTest, CommandThreeWithoutANameStopsTheRunUnlessAnAsciiFileIsOpen) {
  Connect();
  testing::internal::CaptureStderr();
  Command("\x03;5;;");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("without naming a results file"), std::string::npos);
  EXPECT_EQ(sim_->RunState, 2);
  EXPECT_EQ(sim_->ExitStatus, 1);

  sim_ = std::make_unique<SimulatorClass>(out_, err_);
  sim_->AsciiFile = std::make_unique<std::ofstream>(dir_ + "/run.txt");
  Connect();
  Command("\x03;5;;");
  EXPECT_EQ(sim_->RunState, 0) << "the ASCII file still receives the reports";
  EXPECT_EQ(sim_->MaxBatches, 5);
  EXPECT_FALSE(sim_->BinaryFile);
}

TEST_F(SimulatorProtocolTest, AnInvalidCommandIsReportedAndTheRunGoesOn) {
  Connect();
  testing::internal::CaptureStderr();
  Command("\x09");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "!! Invalid Response Received by Client \n!! Simulation\n");
  EXPECT_EQ(sim_->RunState, 0);
  Command("\x01");
  EXPECT_EQ(manager_.Read(10), ReplyBytes(255, 1)) << "the connection is still open";
}

TEST_F(SimulatorProtocolTest, PollingWithoutACommandDoesNothing) {
  Connect();
  testing::internal::CaptureStdout();
  sim_->ListenToSimMgr(sim_->SimMgrSocket);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(sim_->RunState, 0);
}

TEST_F(SimulatorProtocolTest, TheManagerClosingTheConnectionStopsTheRun) {
  Connect();
  manager_.Close();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(sim_->SimMgrSocket->Select(5000));
  sim_->ListenToSimMgr(sim_->SimMgrSocket);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Simulation manager closed the connection... Exiting.\n");
  EXPECT_EQ(sim_->RunState, 2);
}

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

TEST_F(SimulatorProtocolTest, CPUTimeMessageCarriesTheLowBitsOfClientAndExperiment) {
  Connect();
  sim_->ClientId = 300;
  sim_->Experiment = 70000;
  sim_->OutputCPUTime(sim_->SimMgrSocket, 1.5);
  EXPECT_EQ(manager_.Read(16), std::string("\x00\x00\x00\x0c" "\xfe" "\x2c" "\x11\x70"
                                           "\x3f\xf8\x00\x00\x00\x00\x00\x00", 16));
}

TEST_F(SimulatorProtocolTest, ObservationBlocksGoToTheManagerAndTheFileByteForByte) {
  const std::string path = dir_ + "/both.bin";
  sim_->BinaryFile = sim_->CreateBinFile(path);
  sim_->ClientId = 300;
  Connect();
  const int32_t counts[] = {2, 0, 1};
  const double values[] = {1.5, 2.0, 0.0, 0.0, 0.0, 0.0, -3.25, 0.0};  // rows of stride 3 (one unused)
  sim_->WriteObservationBlock(counts, values, 3, 3);
  const int32_t none[] = {0, 0, 0};
  sim_->WriteObservationBlock(none, values, 3, 3);

  const std::string block(
      "\x00\x00\x00\x2f" "\x2c" "\x00\x00" "\x00\x02"
      "\x00\x00" "\x01" "\x00\x00\x00\x02"
      "\x3f\xf8\x00\x00\x00\x00\x00\x00" "\x40\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x02" "\x01" "\x00\x00\x00\x01"
      "\xc0\x0a\x00\x00\x00\x00\x00\x00",
      47);
  const std::string empty("\x00\x00\x00\x09" "\x2c" "\x00\x00" "\x00\x00", 9);
  EXPECT_EQ(manager_.Read(56), block + empty);
  const std::string file = Slurp(path);
  ASSERT_EQ(file.size(), 256u + 56u);
  EXPECT_EQ(file.substr(256), block + empty);
}

TEST_F(SimulatorProtocolTest, OutputWritesDoublesBigEndianAndGrowsItsBuffer) {
  std::ostringstream stream;
  std::vector<double> values(250);
  for (int j = 0; j < 250; ++j) values[j] = j + 0.5;
  EXPECT_EQ(sim_->Output(nullptr, &stream, values.data(), 250), 2000);
  const std::string bytes = stream.str();
  ASSERT_EQ(bytes.size(), 2000u);
  for (int j = 0; j < 250; ++j) EXPECT_EQ(manager::Double(bytes, 8 * j), j + 0.5);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x3f\xe0\x00\x00\x00\x00\x00\x00", 8));
}

TEST_F(SimulatorProtocolTest, AFailedSendStopsTheRunAndTheFileStillGetsEveryBlockWhole) {
  const std::string path = dir_ + "/broken.bin";
  sim_->BinaryFile = sim_->CreateBinFile(path);
  Connect();
  std::vector<int32_t> counts(6, 1000);
  std::vector<double> values(6 * 1000, 0.25);
  sim_->WriteObservationBlock(counts.data(), values.data(), 6, 1000);
  manager_.Close();
  testing::internal::CaptureStderr();
  int blocks = 1;
  for (; blocks < 50 && sim_->RunState == 0; ++blocks) {
    if (sim_->SimMgrSocket != nullptr) sim_->OutputCPUTime(sim_->SimMgrSocket, 1.0);
    sim_->WriteObservationBlock(counts.data(), values.data(), 6, 1000);
  }
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(sim_->RunState, 2);
  EXPECT_EQ(sim_->ExitStatus, 1);
  EXPECT_EQ(sim_->SimMgrSocket, nullptr) << "nothing more is sent";
  EXPECT_NE(errors.find("Sending to the simulation manager failed"), std::string::npos) << errors;
  // Blocks after the failure still reach the file.
  sim_->WriteObservationBlock(counts.data(), values.data(), 6, 1000);
  ++blocks;

  sim_->Batches = blocks;
  sim_->CloseBinFile(*sim_->BinaryFile);
  ResultsReader reader;
  long observations = 0;
  EXPECT_TRUE(reader.ReadFile(path, [&](int, double v) { observations += (v == 0.25); })) << reader.Error();
  EXPECT_EQ(reader.Records(), blocks);
  EXPECT_EQ(observations, blocks * 6000L);
}

// ---------------------------------------------------------------------------
// Connection set-up
// ---------------------------------------------------------------------------

TEST_F(SimulatorProtocolTest, WaitingGivesUpAfterItsTimeOutOrWhenTheRunIsStopped) {
  sim_->Port = 0;  // any free port
  sim_->AcceptPollMs = 10;
  testing::internal::CaptureStdout();
  EXPECT_EQ(sim_->WaitForSimMgrConnection(30), nullptr);
  const std::string line = testing::internal::GetCapturedStdout();
  ASSERT_NE(sim_->ListenSocket, nullptr);
  EXPECT_EQ(line, "REGISTER:  Port: [" + std::to_string(sim_->ListenSocket->LocalPort()) + "]\n");
  EXPECT_EQ(static_cast<unsigned short>(sim_->Port), sim_->ListenSocket->LocalPort());

  sim_->RunState = 2;
  sim_->AcceptPollMs = 60000;
  testing::internal::CaptureStdout();
  EXPECT_EQ(sim_->WaitForSimMgrConnection(-1), nullptr) << "a stopped run does not wait";
  testing::internal::GetCapturedStdout();
}

TEST_F(SimulatorProtocolTest, NoManagerInTimeStopsTheRunAsAFailure) {
  sim_->Port = 0;
  sim_->AcceptPollMs = 10;
  sim_->SimMgrWaitMs = 20;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  sim_->ConnectToSimMgr();
  testing::internal::GetCapturedStdout();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("No simulation manager connected"), std::string::npos);
  EXPECT_EQ(sim_->SimMgrSocket, nullptr);
  EXPECT_EQ(sim_->RunState, 2);
  EXPECT_EQ(sim_->ExitStatus, 1);
}

TEST_F(SimulatorProtocolTest, ABusyPortMovesTheListenerToALaterPort) {
  QuelixSocket holder;
  ASSERT_TRUE(holder.Bind(0));
  ASSERT_TRUE(holder.Listen(1));
  const unsigned short busy = holder.LocalPort();
  sim_->Port = static_cast<short>(busy);
  sim_->AcceptPollMs = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(sim_->WaitForSimMgrConnection(1), nullptr);
  const std::string line = testing::internal::GetCapturedStdout();
  const unsigned short bound = sim_->ListenSocket->LocalPort();
  EXPECT_GT(bound, busy);
  EXPECT_LT(bound, busy + 50) << "the next free port, unless others took the ones in between";
  EXPECT_EQ(line, "REGISTER:  Port: [" + std::to_string(bound) + "]\n");
}

// ---------------------------------------------------------------------------
// Binary results file
// ---------------------------------------------------------------------------

TEST_F(SimulatorProtocolTest, BinaryFileHeaderFollowsTheBatchCountAndKeepsTheBlocks) {
  const std::string path = dir_ + "/run.bin";
  sim_->Seed = 0;
  sim_->RNGType = 1;
  sim_->Experiment = 3;
  auto file = sim_->CreateBinFile(path);
  ASSERT_TRUE(file->is_open());
  EXPECT_EQ(Slurp(path).size(), 256u);

  *file << "BLOCKDATA";
  sim_->Batches = 1234;
  sim_->UpdateBinFileHeader(*file);
  *file << "MORE";
  sim_->Batches = 1235;
  sim_->CloseBinFile(*file);

  const std::string bytes = Slurp(path);
  ASSERT_EQ(bytes.size(), 256u + 13u);
  const std::string text =
      "QUELIX_SIM_BIN_FILE,256,QUELIX_VER=Version 2.5,FILE_VER=1,EXPERIMENTS=3,SEED=31415,"
      "RANDOMGEN=Tausworthe,BATCHES=1235,,";
  EXPECT_EQ(bytes.substr(0, text.size()), text);
  EXPECT_EQ(bytes.substr(text.size(), 256 - text.size()), std::string(256 - text.size(), '\0'));
  EXPECT_EQ(bytes.substr(256), "BLOCKDATAMORE");
}

TEST_F(SimulatorProtocolTest, DestroyingTheSimulatorFinishesAStillOpenBinaryFile) {
  const std::string path = dir_ + "/left-open.bin";
  sim_->BinaryFile = sim_->CreateBinFile(path);
  sim_->Batches = 17;
  sim_.reset();
  const std::string bytes = Slurp(path);
  EXPECT_EQ(bytes.size(), 256u);
  EXPECT_NE(bytes.find("BATCHES=17,,"), std::string::npos);
}

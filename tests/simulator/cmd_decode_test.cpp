// vireluz-tic decode on a capture: the plausibility filter judges each index
// at the time the line took to carry it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "simulator/frame_builder.h"

using namespace vireluz;

namespace {

std::string base_frame(std::string_view index) {
  return TicFrameBuilder()
      .add_historic("ADCO", "SIMU00000001")
      .add_historic("OPTARIF", "BASE")
      .add_historic("ISOUSC", "30")
      .add_historic("BASE", index)
      .add_historic("PTEC", "TH..")
      .add_historic("IINST", "005")
      .add_historic("PAPP", "01150")
      .frame();
}

// meters[0] of `vireluz-tic decode --skip 0` on these bytes.
nlohmann::json decode(const std::string& bytes) {
  const std::string path = testing::TempDir() + "capture_" + std::to_string(::getpid()) + ".bin";
  std::ofstream(path, std::ios::binary) << bytes;
  const std::string cmd = std::string(VIRELUZ_BINARY_DIR) + "/vireluz-tic decode --skip 0 " + path;
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  std::remove(path.c_str());
  return nlohmann::json::parse(out)["meters"][0];
}

}  // namespace

TEST(CmdDecode, IndexesAreJudgedAtTheLinesTime) {
  // 10 Wh between two frames on a 30 A meter (twice 6900 VA count 3.8 Wh a
  // second): too fast for frames back to back (about 0.7 s at 1200 baud),
  // plausible after 400 bytes of silence more (3.3 s).
  const nlohmann::json close = decode(base_frame("000001000") + base_frame("000001010"));
  EXPECT_EQ(close["BASE"], "000001000");
  EXPECT_EQ(close["rejected_values"], 1);
  const nlohmann::json apart =
      decode(base_frame("000001000") + std::string(400, '\0') + base_frame("000001010"));
  EXPECT_EQ(apart["BASE"], "000001010");
  EXPECT_EQ(apart["rejected_values"], 0);
}

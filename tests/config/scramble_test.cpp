#include <gtest/gtest.h>

#include "config/config_files.h"
#include "config_test_util.h"

namespace vireluz {
namespace {

// The printable Windows-1252 characters: 0x20-0x7E and 0x80-0xFF without the
// five bytes the code page leaves undefined.
Text printable_cp1252() {
  Text out;
  for (int c = 0x20; c <= 0xFF; ++c)
    if (c != 0x7F && c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D)
      out.push_back(static_cast<char>(c));
  return out;
}

TEST(Scramble, XorIsItsOwnInverse) {
  EXPECT_EQ(crypt_decrypt_xor("", kScrambleKey), "");
  EXPECT_EQ(crypt_decrypt_xor("abc", "\x01\x02"), "\x60\x60\x62");  // the key's characters in turn
  const Text all = printable_cp1252();
  EXPECT_EQ(crypt_decrypt_xor(crypt_decrypt_xor(all, kScrambleKey), kScrambleKey), all);
}

TEST(Scramble, StoredFormIsASafeIniValue) {
  // Each printable character alone, at both ends and inside a longer text.
  for (char c : printable_cp1252()) {
    for (const Text& clear : {Text(1, c), Text(1, c) + "mid" + Text(1, c), Text(3, c)}) {
      const Text stored = scramble_secret(clear);
      ASSERT_FALSE(stored.empty());
      for (char b : stored) ASSERT_TRUE(b != '\0' && b != '\r' && b != '\n' && b != '\t') << int(c);
      ASSERT_NE(stored.front(), ' ');
      ASSERT_NE(stored.back(), ' ');
      ASSERT_EQ(unscramble_secret(stored), clear) << int(static_cast<unsigned char>(c));
    }
  }
  // Without a byte to escape, the stored form is the plain XOR.
  EXPECT_EQ(scramble_secret("Secret1"), crypt_decrypt_xor("Secret1", kScrambleKey));
  // Any byte at all comes back, control characters included.
  Text every;
  for (int c = 0; c < 256; ++c) every.push_back(static_cast<char>(c));
  EXPECT_EQ(unscramble_secret(scramble_secret(every)), every);
}

TEST(Scramble, EveryPrintablePasswordSurvivesTheFile) {
  using testing_config::TempDir;
  TempDir dir;
  const Text all = printable_cp1252();
  for (const Text& password : {all, Text(" ") + all + " ", Text("?a?"), Text("\x1F\x10")}) {
    Settings s;
    s.ConfigDir = dir.path();
    s.mail.PASSWORD = password;
    s.bdpv.mot_de_passe = password;
    s.cosm.key = password;
    write_alert_file(s);
    write_config_bdpv(s);
    write_config_cosm(s);
    Settings back;
    back.ConfigDir = dir.path();
    lire_configuration(back);
    EXPECT_EQ(back.mail.PASSWORD, password);
    EXPECT_EQ(back.bdpv.mot_de_passe, password);
    EXPECT_EQ(back.cosm.key, password);
  }
}

}  // namespace
}  // namespace vireluz

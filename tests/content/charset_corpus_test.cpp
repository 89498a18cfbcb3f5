// Letters in many character sets, written by an independent encoder (charsets/make_corpus.py),
// read as the program reads a received letter: every text comes out as the UTF-8 expected.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

const std::string kCorpus = KORVO_CHARSET_CORPUS_DIR;

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

TEST(CharsetCorpus, EveryLetterReadsAsExpected) {
    std::ifstream expected(kCorpus + "/expected.tsv");
    ASSERT_TRUE(expected) << kCorpus;
    int letters = 0;
    for (std::string line; std::getline(expected, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = Split(line);
        ASSERT_EQ(f.size(), 5u) << line;
        const std::string raw = test::ReadFile(kCorpus + "/" + f[0]);
        ASSERT_FALSE(raw.empty()) << f[0];
        const std::string header = raw.substr(0, raw.find("\r\n\r\n"));
        EXPECT_EQ(GetAddressName(MailGetHeaderItem(header, "From")), f[1]) << f[0];
        EXPECT_EQ(MailGetHeaderItem(header, "Subject"), f[2]) << f[0];

        std::unique_ptr<baseDataStruct> root = CreateRootNode();
        baseDataStruct* letter = AddSonText(root.get(), "type =letter");
        mailProcess(raw, letter, true);
        ASSERT_NE(letter->firstSon(), nullptr) << f[0];
        EXPECT_EQ(TrimWhite(getdata(letter->firstSon(), "SDATA").value_or("")), f[3]) << f[0];
        EXPECT_EQ(getinfo(letter, kThisNode, "filename"), f[4] + ";") << f[0];
        ++letters;
    }
    EXPECT_GE(letters, 15);
}

}  // namespace
}  // namespace korvo

// minisign's formats and the order of the checks, on the engine's own:
// worked values of the parsers, and the verdict for each answer of the two
// primitives (given here by a stand-in, since only their answers matter).
#include "minisign_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace vireon::engine;

// Public material only: a key and a signature the real tool made once.
const std::string kPublicKey = "untrusted comment: minisign public key 185EB45A3D037F44\n"
                               "RWREfwM9WrReGE+1am/DH3q81RplfXGQy/eCRWfPTKy9s4ANBIt9gLCK\n";
const std::string kSignature =
    "untrusted comment: signature from minisign secret key\n"
    "RUREfwM9WrReGIpxEELVyB5ne9YvIveuHpdFuBlxsdC+tjWg/XOPFoqY1/ISASUe+sULjxNWBUDLVlCMN/EKk0dbkNH/rNERFAY=\n"
    "trusted comment: release 1.0\n"
    "ZEqQP9QYNrodyQmjGSEzjnxhayDiEKZ+RtJiabFUBC/PE3sGCvDUqO3+RRUobnlF1WDEqMhrjuA85++RaD4HAg==\n";

TEST(MinisignRules, TheToolsOwnKeyAndSignatureParseWithTheirKeyId)
{
    MinisignKey key;
    ASSERT_EQ(parsePublicKey(kPublicKey, &key), "");
    EXPECT_EQ(keyIdText(key.keyId), "185EB45A3D037F44");
    EXPECT_EQ(key.publicKey.size(), 32u);
    MinisignSignature signature;
    ASSERT_EQ(parseSignature(kSignature, &signature), "");
    EXPECT_TRUE(signature.prehashed);
    EXPECT_EQ(signature.keyId, key.keyId);
    EXPECT_EQ(signature.trustedComment, "release 1.0");
    // A copy made on another system ends its lines in CR LF.
    std::string crlf;
    for (char c : kSignature)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parseSignature(crlf, &signature), "");
}

TEST(MinisignRules, KeyIdsReadAsTheToolPrintsThem)
{
    EXPECT_EQ(keyIdText(std::string("\x74\x45\xc6\x58\x2b\x6e\x2e\x8f", 8)), "8F2E6E2B58C64574");
    EXPECT_EQ(keyIdText(std::string("\xaa\xea\x96\xfb\x2b\x54\x08\x07", 8)), "708542BFB96EAAA");
}

TEST(MinisignRules, AnythingButCanonicalBase64IsRefused)
{
    const std::string head = "untrusted comment: key\n";
    const std::string good = "RWREfwM9WrReGE+1am/DH3q81RplfXGQy/eCRWfPTKy9s4ANBIt9gLCK";
    const struct {
        const char *what;
        std::string line;
    } cases[] = {
        {"url-safe alphabet", "RWREfwM9WrReGE-1am_DH3q81RplfXGQy_eCRWfPTKy9s4ANBIt9gLCK"},
        {"a blank inside", good.substr(0, 10) + " " + good.substr(11)},
        {"padding where none belongs", good.substr(0, good.size() - 1) + "="},
        {"one character short", good.substr(1)},
    };
    MinisignKey key;
    EXPECT_EQ(parsePublicKey(head + good + "\n", &key), "");
    for (const auto &c : cases)
        EXPECT_EQ(parsePublicKey(head + c.line + "\n", &key), "line 2 is not the base64 of 42 bytes") << c.what;
}

TEST(MinisignRules, Utf8IsValidatedStrictly)
{
    const struct {
        const char *text;
        bool valid;
    } cases[] = {
        {"release 2.3.1 \xE2\x80\x93 \xC3\x9C" "berraschung", true}, // an en dash, a U with umlaut
        {"\xF0\x9F\x99\x82", true},                                // beyond the basic plane
        {"\xC0\xAF", false},                                       // an overlong '/'
        {"\xED\xA0\x80", false},                                   // a surrogate
        {"\xF4\x90\x80\x80", false},                               // beyond U+10FFFF
        {"\xE2\x80", false},                                       // cut short
        {"\xFF", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(validUtf8(c.text), c.valid) << c.text;
}

// Which verdict each pair of answers gives: the signature over the file and
// the global one over the signature and the trusted comment.
TEST(MinisignRules, TheVerdictFollowsWhichOfTheTwoSignaturesHolds)
{
    MinisignKey key;
    MinisignSignature signature;
    ASSERT_EQ(parsePublicKey(kPublicKey, &key), "");
    ASSERT_EQ(parseSignature(kSignature, &signature), "");
    const struct {
        bool fileHolds, commentHolds;
        Verdict verdict;
    } cases[] = {
        {true, true, Verdict::Good},
        {true, false, Verdict::CommentChanged},
        {false, true, Verdict::FileChanged},
        {false, false, Verdict::ImpostorKey},
    };
    for (const auto &c : cases) {
        std::string hashed;
        const Crypto crypto{[] { return true; },
                            [&](std::string_view sig, std::string_view message, std::string_view) {
                                return sig == signature.signature ? (message == "HASH" && c.fileHolds) : c.commentHolds;
                            },
                            [&](std::string_view message) {
                                hashed = std::string(message);
                                return std::string("HASH");
                            }};
        EXPECT_EQ(verifySignature(signature, key, "the file", crypto), c.verdict);
        EXPECT_EQ(hashed, "the file") << "a prehashed signature is over the file's hash";
    }
    MinisignKey other = key;
    other.keyId[0] ^= 1;
    const Crypto never{[] { return false; }, {}, {}};
    EXPECT_EQ(verifySignature(signature, other, "the file", never), Verdict::OtherKey) << "the id decides first";
    EXPECT_EQ(verifySignature(signature, key, "the file", never), Verdict::NoLibrary);
}

} // namespace

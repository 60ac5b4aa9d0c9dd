#include "minisign_rules.h"

#include "wording.h"

#include <cstdint>
#include <vector>

namespace vireon::engine {
namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The text's lines without their line ends ("\n", or "\r\n" from a copy
// made on another system). A last line end is optional; empty lines after
// the last one are no line.
std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    for (std::string_view &line : lines)
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
    return lines;
}

std::string lineCount(size_t lines, size_t wanted)
{
    if (lines == 0)
        return "it is empty";
    if (lines < wanted)
        return "it ends after line " + std::to_string(lines) + " of " + std::to_string(wanted);
    return "it has " + std::to_string(lines) + " lines, not " + std::to_string(wanted);
}

std::string encode(std::string_view bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        uint32_t chunk = uint32_t(uint8_t(bytes[i])) << 16;
        if (left > 1)
            chunk |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (left > 2)
            chunk |= uint8_t(bytes[i + 2]);
        out += kAlphabet[chunk >> 18 & 63];
        out += kAlphabet[chunk >> 12 & 63];
        out += left > 1 ? kAlphabet[chunk >> 6 & 63] : '=';
        out += left > 2 ? kAlphabet[chunk & 63] : '=';
    }
    return out;
}

// Standard base64 with padding, nothing else on the line, of exactly
// `bytes` bytes; empty on any error.
std::string decode(std::string_view line, size_t bytes)
{
    if (line.size() % 4 != 0)
        return {};
    std::string out;
    uint32_t chunk = 0;
    int held = 0;
    for (char c : line) {
        if (c == '=')
            break;
        const char *at = std::char_traits<char>::find(kAlphabet, 64, c);
        if (at == nullptr)
            return {};
        chunk = chunk << 6 | uint32_t(at - kAlphabet);
        if (++held == 4) {
            out += char(chunk >> 16);
            out += char(chunk >> 8);
            out += char(chunk);
            chunk = 0;
            held = 0;
        }
    }
    if (held == 2)
        out += char(chunk >> 4);
    else if (held == 3) {
        out += char(chunk >> 10);
        out += char(chunk >> 2);
    }
    // Only the text that encodes these bytes, and only it: no stray padding,
    // no bits left over.
    if (out.size() != bytes || encode(out) != line)
        return {};
    return out;
}

std::string notBase64(int line, size_t bytes)
{
    return "line " + std::to_string(line) + " is not the base64 of " + std::to_string(bytes) + " bytes";
}

std::string algorithmProblem(std::string_view algorithm, const char *known)
{
    std::string shown;
    for (char c : algorithm)
        shown += c >= 0x20 && c < 0x7F ? std::string(1, c) : "\\x" + hex(uint8_t(c), 2);
    return "its algorithm is '" + shown + "', not Ed25519 (" + known + ")";
}

// What both formats begin with: `wanted` lines, the untrusted comment, then
// the base64 of `bytes` bytes, which go to `decoded`.
std::string readHead(const std::vector<std::string_view> &lines, size_t wanted, size_t bytes, std::string *decoded)
{
    if (lines.size() != wanted)
        return lineCount(lines.size(), wanted);
    if (!startsWith(lines[0], kUntrusted))
        return "line 1 does not begin with \"untrusted comment: \"";
    *decoded = decode(lines[1], bytes);
    return decoded->empty() ? notBase64(2, bytes) : std::string();
}

} // namespace

bool validUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto c = uint8_t(text[i]);
        size_t length = 0;
        uint32_t point = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, point = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, point = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, point = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = uint8_t(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = point << 6 | (next & 0x3F);
        }
        if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string parsePublicKey(std::string_view text, MinisignKey *key)
{
    std::string decoded;
    if (std::string problem = readHead(linesOf(text), 2, 42, &decoded); !problem.empty())
        return problem;
    if (decoded.substr(0, 2) != "Ed")
        return algorithmProblem(std::string_view(decoded).substr(0, 2), "'Ed'");
    key->keyId = decoded.substr(2, 8);
    key->publicKey = decoded.substr(10, 32);
    return {};
}

std::string parseSignature(std::string_view text, MinisignSignature *signature)
{
    const std::vector<std::string_view> lines = linesOf(text);
    std::string decoded;
    if (std::string problem = readHead(lines, 4, 74, &decoded); !problem.empty())
        return problem;
    const std::string algorithm = decoded.substr(0, 2);
    if (algorithm != "ED" && algorithm != "Ed")
        return algorithmProblem(algorithm, "'Ed' or 'ED'");
    if (!startsWith(lines[2], kTrusted))
        return "line 3 does not begin with \"trusted comment: \"";
    const std::string_view comment = lines[2].substr(kTrusted.size());
    if (!validUtf8(comment))
        return "its trusted comment is not valid UTF-8 text";
    const std::string global = decode(lines[3], 64);
    if (global.empty())
        return notBase64(4, 64);
    signature->prehashed = algorithm == "ED";
    signature->keyId = decoded.substr(2, 8);
    signature->signature = decoded.substr(10, 64);
    signature->trustedComment = std::string(comment);
    signature->globalSignature = global;
    return {};
}

std::string keyIdText(std::string_view keyId)
{
    uint64_t number = 0;
    for (size_t i = keyId.size(); i-- > 0;)
        number = number << 8 | uint8_t(keyId[i]);
    std::string digits = hex(number, 1);
    for (char &c : digits)
        c = char(c >= 'a' ? c - 'a' + 'A' : c);
    return digits;
}

Verdict verifySignature(const MinisignSignature &signature, const MinisignKey &key, std::string_view file,
                        const Crypto &crypto)
{
    if (signature.keyId != key.keyId)
        return Verdict::OtherKey;
    if (!crypto.ready || !crypto.ready())
        return Verdict::NoLibrary;
    const std::string hashed = signature.prehashed ? crypto.blake2b512(file) : std::string();
    const bool fileHolds = crypto.verify(signature.signature, signature.prehashed ? hashed : file, key.publicKey);
    const bool commentHolds =
        crypto.verify(signature.globalSignature, signature.signature + signature.trustedComment, key.publicKey);
    if (fileHolds)
        return commentHolds ? Verdict::Good : Verdict::CommentChanged;
    return commentHolds ? Verdict::FileChanged : Verdict::ImpostorKey;
}

} // namespace vireon::engine

#pragma once
// A content stream as the content-stream editor reads it: its decoded bytes
// cut into tokens that tile them (spaces and comments included, an inline
// image's data one token), and the changes asked of it as splices of byte
// ranges; every byte no splice names stays as it was. Internal to the engine.

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <QString>

#include <set>
#include <string>
#include <vector>

class QPDF;

namespace pdfengine {

using TokenType = QPDFTokenizer::token_type_e;

struct Token {
    TokenType type = QPDFTokenizer::tt_bad;
    std::string value;
    size_t start = 0;
    size_t end = 0;
};

struct Splice {
    size_t start = 0;
    size_t end = 0;
    std::string with;
};

// One content stream: its decoded bytes, their tokens and the changes asked for.
struct StreamWork {
    QPDFObjectHandle stream;
    std::string data;
    std::vector<Token> tokens;
    std::vector<Splice> splices;
};

// Tokens of data; an inline image's end is found as readers find it
// (resources name its colour space). False, with the reason, where the
// data does not read to its end.
bool tokenize(const std::string& data, std::vector<Token>& tokens, QString& error, QPDFObjectHandle resources);
bool isNumber(const Token& t);
// A number token's value; 0 where it is not finite.
double numberOf(const Token& t);
// The stream's bytes with its splices made.
std::string applied(const StreamWork& work);
// The resources a page draws with: its own, else the nearest node's above it.
QPDFObjectHandle inheritedResources(QPDFObjectHandle page);
// The content streams the other pages of pdf draw.
std::set<QPDFObjGen> streamsOfOtherPages(QPDF& pdf, QPDFObjectHandle page);

}  // namespace pdfengine

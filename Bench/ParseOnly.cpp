// The least program that reads a credential file the tool family's way: it only calls
// PlainTextParser::parse. Whole programs such as credcheck are measured against it.
//
// Usage: ptfp_parse_only PATH
// Prints the number of entries parse handed out. Exit status 0 for RESULT_SUCCEED, else 1.

#include <cstdio>
#include <map>
#include <string>

#include <PlainTextFileParser/PlainTextFileParser.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ptfp_parse_only PATH\n");
        return 2;
    }
    std::map<std::string, std::string> out;
    const CorvexResult result = PlainTextParser::parse(argv[1], out);
    std::printf("%zu\n", out.size());
    return result.code == RESULT_SUCCEED ? 0 : 1;
}

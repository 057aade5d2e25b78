// Writes a TypeInfo.con with the given AnswerType and the check value that
// start-up expects.
#include <iostream>
#include <string>

#include "core/typeinfo.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: make-typeinfo ANSWER_TYPE OUTPUT\n";
        return 2;
    }
    std::int16_t answerType = 0;
    try {
        answerType = std::int16_t(std::stoi(argv[1]));
    } catch (const std::exception&) {
        std::cerr << "make-typeinfo: ANSWER_TYPE must be a whole number\n";
        return 2;
    }
    if (!scrivane::WriteTypeInfoFile(argv[2], answerType)) {
        std::cerr << "make-typeinfo: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}

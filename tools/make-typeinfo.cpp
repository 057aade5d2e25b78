// Writes a TypeInfo.con with the given AnswerType and the check value that
// start-up expects.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "core/typeinfo.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: make-typeinfo ANSWER_TYPE OUTPUT\n";
        return 2;
    }
    scrivane::TypeInfoRecord record;
    try {
        record.AnswerType = std::int16_t(std::stoi(argv[1]));
    } catch (const std::exception&) {
        std::cerr << "make-typeinfo: ANSWER_TYPE must be a whole number\n";
        return 2;
    }
    record.CheckValue = scrivane::TypeInfoRecord::kCheckValue;
    const auto bytes = record.ToBytes();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush()) {
        std::cerr << "make-typeinfo: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}

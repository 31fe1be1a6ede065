// formbin2text <file.bin>: prints a binary form description as text.
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "toolkit/description/FormText.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: formbin2text <file.bin>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        std::cout << velmora::FormBinaryToText(bytes);
    } catch (const velmora::Exception& e) {
        std::cerr << argv[1] << ": " << e.Message() << "\n";
        return 1;
    }
    return 0;
}

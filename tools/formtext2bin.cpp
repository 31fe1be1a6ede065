// formtext2bin <in.form> <out.bin>: writes the binary form of a readable
// form description.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "toolkit/description/FormText.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: formtext2bin <in.form> <out.bin>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::uint8_t> bytes;
    try {
        bytes = velmora::FormTextToBinary(text.str());
    } catch (const velmora::EFormTextError& e) {
        std::cerr << argv[1] << ":" << e.Line() << ": " << e.Message() << "\n";
        return 1;
    } catch (const velmora::Exception& e) {
        std::cerr << argv[1] << ": " << e.Message() << "\n";
        return 1;
    }
    // Written beside the target and renamed, so a failed run never leaves a
    // half-written description for the build to embed.
    std::string temporary = std::string(argv[2]) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::cerr << temporary << ": cannot write\n";
            std::remove(temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), argv[2]) != 0) {
        std::cerr << argv[2] << ": cannot write\n";
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}

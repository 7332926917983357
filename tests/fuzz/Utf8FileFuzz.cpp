// The UTF-8 text file reader: whole lines, and lines in pieces of a caller's buffer size.

#include "core/StdioFileUTF8.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const unsigned pieceSize = 1 + input.TakeByte() % 64;
    const QString path = WriteScratchFile(QStringLiteral("text.txt"), input.TakeRest());

    try {
        CStdioFileUTF8 lines(path, CStdioFileUTF8::modeRead);
        QString line;
        while (lines.ReadString(line)) {
            if (line.contains(QLatin1Char('\n')))
                std::abort(); // a line is returned without its line end
        }
        lines.Close();

        CStdioFileUTF8 pieces(path, CStdioFileUTF8::modeRead);
        std::vector<char16_t> buffer(pieceSize + 1, u'\xFFFF');
        while (char16_t* text = pieces.ReadString(buffer.data(), pieceSize)) {
            if (buffer[pieceSize] != u'\xFFFF')
                std::abort(); // written past the size it was given
            size_t length = 0;
            while (length < pieceSize && text[length] != 0)
                ++length;
            if (length == pieceSize)
                std::abort(); // no terminator inside the buffer
        }
        pieces.GetLength();
    } catch (const CFileException&) {
    }
    return 0;
}

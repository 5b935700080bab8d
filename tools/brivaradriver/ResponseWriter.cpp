#include "ResponseWriter.h"

#include "EventLog.h"

#include <algorithm>

const char *responseTypeName(std::int32_t type)
{
    switch (type) {
    case REQUEST_RESULT:
        return "REQUEST_RESULT";
    case DRIVER_EXIT:
        return "DRIVER_EXIT";
    case MENU_ITEM_CLICKED:
        return "MENU_ITEM_CLICKED";
    case OEM_BUTTON_PRESSED:
        return "OEM_BUTTON_PRESSED";
    default:
        return "-";
    }
}

std::vector<std::vector<std::uint8_t>> splitIntoPieces(const std::vector<std::uint8_t> &bytes)
{
    std::vector<std::size_t> cuts{1, 5, ResponseHeader::Size};
    if (bytes.size() > ResponseHeader::Size + 1)
        cuts.push_back(ResponseHeader::Size + (bytes.size() - ResponseHeader::Size) / 2);
    std::vector<std::vector<std::uint8_t>> pieces;
    std::size_t start = 0;
    for (const std::size_t cut : cuts) {
        if (cut >= bytes.size())
            break;
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                            bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        start = cut;
    }
    if (start < bytes.size())
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    return pieces;
}

void ResponseWriter::send(StreamConnection &connection, const ResponseHeader &header,
                          const std::vector<std::uint8_t> &extra)
{
    const ResponseHeader::Bytes headerBytes = header.encode();
    std::vector<std::uint8_t> bytes(headerBytes.begin(), headerBytes.end());
    bytes.insert(bytes.end(), extra.begin(), extra.end());

    std::string note;
    if (glueArmed && held.empty()) {
        held = std::move(bytes);
        note = " glue=held";
    } else {
        if (glueArmed) {
            glueArmed = false;
            bytes.insert(bytes.begin(), held.begin(), held.end());
            held.clear();
            note = " glue=joined bytes=" + std::to_string(bytes.size());
        }
        write(connection, std::move(bytes), note);
    }
    log.line("sent type=", header.type, " ", responseTypeName(header.type), " value=", header.value,
             " length=", header.length, note);
}

void ResponseWriter::flushHeld(StreamConnection &connection)
{
    if (held.empty())
        return;
    glueArmed = false;
    std::string note;
    write(connection, std::move(held), note);
    held.clear();
    log.line("glue released-alone", note);
}

void ResponseWriter::dropHeld()
{
    if (!held.empty())
        log.line("glue dropped bytes=", held.size());
    held.clear();
}

void ResponseWriter::write(StreamConnection &connection, std::vector<std::uint8_t> bytes, std::string &note)
{
    if (!splitArmed) {
        connection.write(std::move(bytes));
        return;
    }
    splitArmed = false;
    const auto pieces = splitIntoPieces(bytes);
    note += " pieces=" + std::to_string(pieces.size());
    bool first = true;
    for (const auto &piece : pieces) {
        connection.write(piece, first ? std::chrono::milliseconds(0) : PiecePause);
        first = false;
    }
}

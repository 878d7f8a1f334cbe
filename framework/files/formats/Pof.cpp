#include "files/formats/Pof.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "core/Globals.h"

namespace kovfiles {
namespace {

constexpr std::uint8_t PofMagic[4] = {'P', 'O', 'F', 0};
constexpr std::uint64_t PacketHeaderSize = 6;

std::uint32_t LittleEndian(const std::uint8_t* bytes, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

bool SettingIs(const std::string& value, const char* text) {
    return strcasecmp(value.c_str(), text) == 0;
}

bool Invalid() {
    LogMessage("Invalid POF file", 0);
    return false;
}

class TPofLoader {
public:
    TPofLoader(TFileIn& in, TDataSink& sink) : In_(in), Sink_(sink) {}
    bool Load();

private:
    bool LoadData(std::uint64_t size);

    TFileIn& In_;
    TDataSink& Sink_;
};

bool TPofLoader::Load() {
    std::uint8_t header[12];
    if (!In_.ReadExact(header, sizeof header) || std::memcmp(header, PofMagic, sizeof PofMagic) != 0) {
        return Invalid();
    }
    const std::string fill = FormatSetting("POF", "FillValue");
    if (!SettingIs(fill, "Disabled")) Sink_.Fill(SettingIs(fill, "0x00") ? 0x00 : 0xFF);
    const std::string types = FormatSetting("POF", "RecordTypes");
    const bool allow07 = !SettingIs(types, "0x11");
    const bool allow11 = !SettingIs(types, "0x07");
    const std::uint64_t length = Sink_.Length();

    bool validTypeSeen = false;
    bool packetLoaded = false;
    // The count in the header takes in one packet that is never examined.
    std::int64_t remaining = LittleEndian(header + 8, 4);
    while (--remaining > 0 && !packetLoaded) {
        std::uint8_t packet[PacketHeaderSize];
        if (!In_.ReadExact(packet, sizeof packet)) break;
        const std::uint32_t type = LittleEndian(packet, 2);
        const std::uint64_t size = LittleEndian(packet + 2, 4);
        // A packet shorter than its own header or fixed fields cannot be walked past safely.
        if (size < PacketHeaderSize) return Invalid();
        const std::uint64_t body = size - PacketHeaderSize;
        if (type == 0x07 && allow07) {
            validTypeSeen = true;
            if (size < 18) return Invalid();
            if (size - 18 + 1 > length) {
                LogMessage("Packet size is too large to load into buffer", 0);
                In_.Skip(body);
                continue;
            }
            if (!In_.Skip(12) || !LoadData(size - 18)) return Invalid();
            packetLoaded = true;
        } else if (type == 0x11 && allow11) {
            validTypeSeen = true;
            if (size < 22) return Invalid();
            if (size - 14 > length) {
                LogMessage("Packet size is too large to load into buffer", 0);
                In_.Skip(body);
                continue;
            }
            // Fields of 4, 2, 4 and 2 bytes and 4 more bytes come before the data; none is used.
            if (!In_.Skip(16) || !LoadData(size - 22)) return Invalid();
            packetLoaded = true;
        } else {
            In_.Skip(body);
        }
    }
    if (!validTypeSeen) LogMessage("No valid packet types found", 0);
    return packetLoaded;
}

// The data goes in shifted up by one bit with a 1 entering at the bottom, after a leading 0xFF.
bool TPofLoader::LoadData(std::uint64_t size) {
    std::uint8_t chunk[65536];
    std::uint8_t shifted[sizeof chunk];
    const std::uint8_t lead = 0xFF;
    Sink_.PutAt(0, &lead, 1);
    Sink_.AddLoaded(1);
    std::uint64_t offset = 1;
    unsigned carry = 1;
    while (size > 0) {
        const std::size_t piece = size < sizeof chunk ? static_cast<std::size_t>(size) : sizeof chunk;
        const std::size_t got = In_.Read(chunk, piece);
        for (std::size_t i = 0; i < got; ++i) {
            shifted[i] = static_cast<std::uint8_t>(chunk[i] << 1 | carry);
            carry = chunk[i] >> 7;
        }
        Sink_.PutAt(offset, shifted, got);
        Sink_.AddLoaded(got);
        offset += got;
        // A packet that claims more data than the file holds is a damaged file, not a short image.
        if (got < piece) return false;
        size -= got;
    }
    return true;
}

}  // namespace

bool ReadPofFile(TFileIn& in, TDataSink& sink) {
    TPofLoader loader(in, sink);
    return loader.Load();
}

bool WritePofFile(TFileOut&, const TDataSource&) {
    LogMessage("POF file save is not availible", 0);
    return false;
}

bool ProbePof(const std::uint8_t* bytes, std::size_t count) {
    return bytes && count >= 5 && std::memcmp(bytes, PofMagic, sizeof PofMagic) == 0;
}

}  // namespace kovfiles

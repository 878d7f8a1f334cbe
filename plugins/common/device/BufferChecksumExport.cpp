// Families whose checksum differs from kov's own word sum export GetBufferChecksum.
#include "device/DeviceCore.h"

KOV_EXPORT KovGetBufferChecksumFn GetBufferChecksum;

KOV_EXPORT int GetBufferChecksum(uint32_t start, uint32_t end, uint32_t* checksum,
                                 const unsigned char* image) {
    try {
        return kovsim::Engine().BufferChecksum(start, end, checksum, image);
    } catch (...) {
        return 0;
    }
}

// The certificate reader: any bytes as the contents of one installed
// certificate file (PEM, one or more, or DER), read as readCertificates reads
// each file of its directory (the directory itself is read by fuzz_dispatcher's
// GetCertificado). What it lists is a packet the screen loads: values within
// their fields and unchanged over the wire.
#include "PacketChecks.h"

#include "Certificates.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzzcheck::wellFormedAnswer(readCertificateFile(bytes));
    return 0;
}

#pragma once

#include "DataPacket.h"

#include <QString>

// The digital certificates installed on the server: the X.509 files (PEM or
// DER) of one directory. Throws rt::Exception when the directory cannot be read.
rt::DataPacket readCertificates(const QString &directory);

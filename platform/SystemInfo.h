#pragma once
#include <QString>

// Names for the banner lines; each is empty when it can't be read.
namespace SystemInfo {

QString computerName();  // the host name
QString userName();      // the account of the effective user id
QString productName();   // PRETTY_NAME of os-release

}  // namespace SystemInfo

#pragma once
#include <QString>

// Names for the banner lines; each is empty when it can't be read.
namespace SystemInfo {

QString computerName();  // the host name
QString userName();      // the account of the effective user id, or the id itself
QString productName();   // PRETTY_NAME of os-release

}  // namespace SystemInfo

#include "OtherUser.h"

namespace tvxtest {

CAsUnprivileged::CAsUnprivileged() : m_why("serial ports on Windows have no file modes to deny") {}

CAsUnprivileged::~CAsUnprivileged() = default;

}  // namespace tvxtest

#include "FileAttributes.h"

#include <QByteArray>
#include <QByteArrayList>
#include <cerrno>
#include <sys/xattr.h>

namespace {

// Lists the attribute names of the file; false when they cannot be listed.
// A file system without attributes has none.
bool attributeNames(int fd, QByteArrayList *names)
{
    names->clear();
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP;
        QByteArray list(size, Qt::Uninitialized);
        const ssize_t got = size > 0 ? ::flistxattr(fd, list.data(), size_t(size)) : 0;
        if (got < 0 && errno == ERANGE)
            continue;  // grew in between
        if (got < 0)
            return false;
        list.truncate(got);
        for (const QByteArray &name : list.split('\0'))
            if (!name.isEmpty())
                names->append(name);
        return true;
    }
}

bool attributeValue(int fd, const QByteArray &name, QByteArray *value)
{
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        value->resize(size);
        const ssize_t got = size > 0 ? ::fgetxattr(fd, name.constData(), value->data(), size_t(size)) : 0;
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return false;
        value->truncate(got);
        return true;
    }
}

}  // namespace

bool CopyFileAttributes(int from, int to, SetAttributeCall setAttribute)
{
    QByteArrayList wanted;
    QByteArrayList present;
    if (!attributeNames(from, &wanted) || !attributeNames(to, &present))
        return false;
    for (const QByteArray &name : present)
        if (!wanted.contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    QByteArray value;
    for (const QByteArray &name : wanted) {
        if (!attributeValue(from, name, &value)
            || setAttribute(to, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            return false;
    }
    return true;
}

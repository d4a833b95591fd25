#pragma once
// Extended attributes of an open file, the POSIX ACL (system.posix_acl_access)
// and security labels among them, copied to another open file.

#include <sys/types.h>

using SetAttributeCall = int (*)(int fd, const char *name, const void *value, size_t size, int flags);

// Gives `to` exactly the attributes of `from`: each one copied, and any that
// `to` has and `from` lacks (one inherited from the directory) removed.
// Returns false when one cannot be read, copied or removed.
bool CopyFileAttributes(int from, int to, SetAttributeCall setAttribute);

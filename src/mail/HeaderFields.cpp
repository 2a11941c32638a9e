#include "mail/HeaderFields.h"

// Placeholder until the header parser lands.
HeaderFields ExtractHeaderFields(const QString&)
{
    return {};
}

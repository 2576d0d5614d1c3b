#include "core/BuiltInKeys.h"

namespace zdl::core {

namespace {

    void Add(const char* line, std::vector<PublicKey>* keys)
    {
        PublicKey key;
        if (!ParsePublicKey(line, &key))
            key = PublicKey(); // all zero: no signature verifies against it
        keys->push_back(key);
    }

} // namespace

std::vector<PublicKey> BuiltInKeys()
{
    std::vector<PublicKey> keys;
#ifdef ZDL_PUBLIC_KEY
    Add(ZDL_PUBLIC_KEY, &keys);
#endif
#ifdef ZDL_PUBLIC_KEY2
    Add(ZDL_PUBLIC_KEY2, &keys);
#endif
    (void)&Add;
    return keys;
}

} // namespace zdl::core

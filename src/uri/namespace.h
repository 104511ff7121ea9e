// The product's base URI, under which vocabulary URIs and user bases are built.
#ifndef ZQ_URI_NAMESPACE_H
#define ZQ_URI_NAMESPACE_H

#include <cstddef>

namespace zq {

inline constexpr char kNamespaceBase[] = "http://ns.zq.example/xml";
inline constexpr size_t kNamespaceBaseLength = sizeof(kNamespaceBase) - 1;

}  // namespace zq

#endif  // ZQ_URI_NAMESPACE_H

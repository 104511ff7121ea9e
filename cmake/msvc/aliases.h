// The second decoration of four exports. Where an argument is an "unsigned 32-bit" number, a host
// built with Microsoft's compiler may have declared it `unsigned int` (the header's uint32_t) or
// the Windows DWORD, `unsigned long`; the DLL exports both decorations for the same function.
// (In the 64-bit DLL the prefix is a 64-bit word: it has one decoration only.)
// Compiled only for the Microsoft ABI, to read these names; never part of a build of the library.
#pragma once
#include "zqxmlu.h"

ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList_q(ZQ_KWLIST_STRUCT_TQ* list, unsigned long key,
                                         uint64_t value, int mode, const char* tag);
ZQ_API void ZQ_CALL ZqXmlU_swap_sha1(unsigned long state[5]);
ZQ_API void ZQ_CALL ZqXmlU_Obfuscate(const char* value, const unsigned long mask[5], char* out);

// The prefix column holds a pointer-sized word: 32 bits, so a DWORD too, only in the 32-bit DLL.
#if UINTPTR_MAX == 0xFFFFFFFF
ZQ_API int ZQ_CALL ZqXmlU_AddToPrefixUriList(ZQ_PREFIX_URILIST_STRUCT_T* list, unsigned long prefix,
                                             intptr_t uri, intptr_t extra, int unused,
                                             const char* tag);
#define ZQ_MSVC_PREFIX_ALIAS                                                                      \
    reinterpret_cast<const void*>(                                                                \
        static_cast<int(ZQ_CALL*)(ZQ_PREFIX_URILIST_STRUCT_T*, unsigned long, intptr_t, intptr_t, \
                                  int, const char*)>(&ZqXmlU_AddToPrefixUriList)),
#else
#define ZQ_MSVC_PREFIX_ALIAS
#endif

#define ZQ_MSVC_ALIASES                                                               \
    ZQ_MSVC_PREFIX_ALIAS                                                              \
    reinterpret_cast<const void*>(                                                    \
        static_cast<int(ZQ_CALL*)(ZQ_KWLIST_STRUCT_TQ*, unsigned long, uint64_t, int, \
                                  const char*)>(&ZqXmlU_ModifyKwList_q)),             \
        reinterpret_cast<const void*>(                                                \
            static_cast<void(ZQ_CALL*)(unsigned long*)>(&ZqXmlU_swap_sha1)),          \
        reinterpret_cast<const void*>(                                                \
            static_cast<void(ZQ_CALL*)(const char*, const unsigned long*, char*)>(    \
                &ZqXmlU_Obfuscate))

/*
 * The COM shapes the host-facing interfaces are built on: IUnknown, interface identifiers,
 * HRESULT and the result codes the library uses. On Windows they come from the system headers;
 * elsewhere this header declares the same values and the same slot layout.
 *
 * Works as C (C99 or later) and as C++ (C++11 or later). In C++ an interface is a class with
 * pure virtual slots; in C it is the usual COM C binding: a struct whose only member lpVtbl
 * points at a table of function pointers, one per slot, in slot order, each taking the object
 * first. Both describe the same object in memory. C++ code that defines CINTERFACE gets the C
 * view, as with the Windows headers.
 *
 * Calling convention of every slot: MOVA_CALL, which is __stdcall on 32-bit Windows (as COM
 * has it) and the platform's default elsewhere.
 */
#ifndef MOVAJOB_MOVACOM_H
#define MOVAJOB_MOVACOM_H

#include <stdint.h>

#if defined(_WIN32)

#include <unknwn.h>
#define MOVA_CALL __stdcall

/* The system's call macros of IUnknown's C view need COBJMACROS; a host gets them anyway. */
#if (!defined(__cplusplus) || defined(CINTERFACE)) && !defined(IUnknown_QueryInterface)
#define IUnknown_QueryInterface(This, riid, ppvObject)                                             \
    ((This)->lpVtbl->QueryInterface(This, riid, ppvObject))
#define IUnknown_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IUnknown_Release(This) ((This)->lpVtbl->Release(This))
#endif

#else /* not Windows */

#define MOVA_CALL

typedef int32_t HRESULT;
typedef uint32_t ULONG;

typedef struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
#ifdef __cplusplus
typedef const IID& REFIID;
#else
typedef const IID* REFIID;
#endif

/* {00000000-0000-0000-C000-000000000046} */
static const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#define S_OK ((HRESULT)0)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)

#if defined(__cplusplus) && !defined(CINTERFACE)

struct IUnknown
{
    virtual HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG MOVA_CALL AddRef() = 0;
    virtual ULONG MOVA_CALL Release() = 0;

protected:
    // Objects are destroyed by their last Release, never through an interface pointer.
    ~IUnknown() = default;
};

#else /* C */

typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl
{
    HRESULT(MOVA_CALL* QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
    ULONG(MOVA_CALL* AddRef)(IUnknown* This);
    ULONG(MOVA_CALL* Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown
{
    const struct IUnknownVtbl* lpVtbl;
};

#define IUnknown_QueryInterface(This, riid, ppvObject)                                             \
    ((This)->lpVtbl->QueryInterface(This, riid, ppvObject))
#define IUnknown_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IUnknown_Release(This) ((This)->lpVtbl->Release(This))

#endif /* C */
#endif /* not Windows */

#endif /* MOVAJOB_MOVACOM_H */

#include "include/MovaJob.h"

#include "job/MovaJobObject.h"
#include "proto/MovaProto.h"

#include <new>

namespace
{

template <typename TClass, typename TInterface> std::int32_t CreateObject(TInterface** ppObject)
{
    if (!ppObject)
        return MOVA_NOT_CREATED;
    TClass* pObject = new (std::nothrow) TClass;
    *ppObject = pObject;
    if (!pObject)
        return MOVA_NOT_CREATED;
    pObject->AddRef();
    return MOVA_CREATED;
}

} // namespace

std::int32_t CreateIMovaJob(IMovaJob** ppJob)
{
    return CreateObject<CMovaJob>(ppJob);
}

std::int32_t CreateIMovaProto(IMovaProto** ppProto)
{
    return CreateObject<CMovaProto>(ppProto);
}

// The host's sink as the job holds it: the one registered sink with the job's one reference to
// it, and the job's own calls into it that are in progress (reports and walks). The job never
// calls the sink but through a CSinkCall, and never takes or gives back a reference around a
// call: the host sees AddRef once when the sink is accepted and Release once when it goes.
//
// Dropping a sink gives its reference back only when no call into it is in progress. Outside
// any call into the host, Drop waits for the calls on other threads to return, so that the
// host may free the sink when SetJobNotification(NULL) or CloseJob has returned. Inside such a
// call (a report or a walk of this job on the dropping thread) it must not wait: that call may
// itself be what another thread's call waits for. Then the last of the calls in progress makes
// the Release as it leaves. m_cs is held for a few instructions and never across a call into
// the host.
#pragma once

#include "include/MovaJob.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"

#include <cstddef>
#include <cstdint>

class CSinkRegistration
{
public:
    // One call into the registered sink, in progress from construction to Leave.
    class CSinkCall
    {
    public:
        explicit CSinkCall(CSinkRegistration& registration);
        ~CSinkCall(); // leaves, if Leave was not called; a Release then owed is made here
        CSinkCall(const CSinkCall&) = delete;
        CSinkCall& operator=(const CSinkCall&) = delete;

        // The sink to call, or null when none is registered.
        IJobNotify* Sink() const { return m_pSink; }
        // Whether the sink is still registered: a dropped sink is called no further.
        bool IsStillRegistered() const;
        // Ends the call. Returns the sink when this call was the last in progress of a sink
        // dropped meanwhile: the caller makes its Release, with no lock of the job held.
        [[nodiscard]] IJobNotify* Leave();

    private:
        friend class CSinkRegistration;
        CSinkRegistration& m_registration;
        IJobNotify* m_pSink = nullptr;
        std::uint32_t m_dwRegistration = 0;
        CSinkCall* m_pNext = nullptr;
        bool m_bLeft = false;
        bool m_bReleaseOwed = false; // the sink was dropped inside a call into the host
        platform::CAutoResetEvent* m_pIdle = nullptr; // a Drop waits for the last call to leave
    };

    CSinkRegistration() = default;
    CSinkRegistration(const CSinkRegistration&) = delete;
    CSinkRegistration& operator=(const CSinkRegistration&) = delete;

    // Holds the place for pSink when none is registered or being registered; false otherwise.
    // The caller then takes the job's reference (AddRef) and calls Complete.
    bool Reserve();
    void Complete(IJobNotify* pSink);

    bool IsRegistered();

    // Unregisters the sink: no call into it is begun any more. Returns the sink whose Release
    // the caller makes now, with no lock of the job held, or null when none was registered or
    // when a call in progress makes the Release (bInsideCall). Without bInsideCall it returns
    // only once no call into the sink is in progress.
    [[nodiscard]] IJobNotify* Drop(bool bInsideCall);

private:
    std::size_t CountCallsLocked(std::uint32_t dwRegistration) const;

    platform::CCriticalSection m_cs;
    IJobNotify* m_pSink = nullptr;      // m_cs
    bool m_bReserved = false;           // m_cs: a SetJobNotification is taking its reference
    std::uint32_t m_dwRegistration = 0; // m_cs: counts registrations, to tell them apart
    CSinkCall* m_pCalls = nullptr;      // m_cs: the calls in progress, of any registration
};

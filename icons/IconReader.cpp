#include "icons/IconReader.h"

#include "base/FileTime.h"
#include "icons/IconLocation.h"

#include <wchar.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

namespace {

// How long one file may hold the reader before it is left to it.
const DWORD kStuckMs = 1000;

}  // namespace

void ReadIcon(IconRead& read, bool bDecode)
{
    const wchar_t* pszPath = read.path->c_str();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(pszPath, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        read.outcome = IconRead::kMissing;
        return;
    }
    FILETIME ftNow;
    GetSystemTimeAsFileTime(&ftNow);
    const IconFileVersion version = {(static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                                     TrustedTime(data.ftLastWriteTime, ftNow)};
    if (read.bCheckOnly && version.cbSize == read.version.cbSize &&
        CompareFileTime(&version.ftWrite, &read.version.ftWrite) == 0) {
        read.outcome = IconRead::kUnchanged;
        return;
    }
    read.version = version;
    read.outcome = IconRead::kNoIcon;

    // ExtractIconExW searches for other names and refuses longer ones: it
    // must find no other file than the one checked here.
    const bool bFullPath = (pszPath[0] != L'\0' && pszPath[1] == L':' && pszPath[2] == L'\\') ||
                           (pszPath[0] == L'\\' && pszPath[1] == L'\\');
    if (!bFullPath || wcslen(pszPath) >= MAX_PATH)
        return;
    HANDLE hFile = CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION)
            read.outcome = IconRead::kRetry;
        return;
    }
    // A device or a pipe gives no icon; a directory does not open without
    // FILE_FLAG_BACKUP_SEMANTICS. The image is chosen at the size that
    // ExtractIconExW chooses it at, the image list's whenever it is decoded.
    IconFileResult result = kIconNone;
    if (GetFileType(hFile) == FILE_TYPE_DISK) {
        CFileByteSource file(hFile, version.cbSize);
        result = ReadIconFile(file, read.nIndex, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                              bDecode ? &read.image : NULL);
    }
    CloseHandle(hFile);
    if (result == kIconDecoded) {
        read.outcome = IconRead::kImage;
    } else if (result == kIconNeedsSystem) {
        // Only a file that the reader found sound reaches ExtractIconExW.
        read.icon.Attach(ExtractSmallIcon(pszPath, read.nIndex));
        if (read.icon != NULL)
            read.outcome = IconRead::kHandle;
    }
}

// What the reader's thread and its owner share; the thread keeps it alive
// for as long as it runs, also when its owner has left it.
struct CIconReader::Thread
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<IconRead> asked;
    std::vector<IconRead> answered;
    // The read under way.
    std::shared_ptr<const std::wstring> busyPath;
    int nBusyIcon = 0;
    unsigned int nBusySerial = 0;
    DWORD dwBusySince = 0;
    bool bStop = false;
    ReadFn pRead = ReadIcon;
    bool bDecode = false;
    HWND hwndNotify = NULL;
    UINT nNotifyMessage = 0;
};

CIconReader::CIconReader(ReadFn pRead) : m_pRead(pRead), m_bDecode(false), m_hwndNotify(NULL), m_nNotifyMessage(0) {}

CIconReader::~CIconReader()
{
    if (m_thread) {
        std::lock_guard<std::mutex> lock(m_thread->mutex);
        m_thread->bStop = true;
        m_thread->changed.notify_all();
    }
}

void CIconReader::Run(std::shared_ptr<Thread> thread)
{
    std::unique_lock<std::mutex> lock(thread->mutex);
    for (;;) {
        thread->changed.wait(lock, [&] { return thread->bStop || !thread->asked.empty(); });
        if (thread->bStop)
            return;
        IconRead read = std::move(thread->asked.front());
        thread->asked.pop_front();
        thread->busyPath = read.path;
        thread->nBusyIcon = read.nIcon;
        thread->nBusySerial = read.nSerial;
        thread->dwBusySince = GetTickCount();
        const bool bDecode = thread->bDecode;
        lock.unlock();
        try {
            thread->pRead(read, bDecode);
        } catch (const std::bad_alloc&) {
            read.outcome = IconRead::kRetry;
        }
        lock.lock();
        thread->busyPath.reset();
        if (thread->bStop)
            return;
        // Without room for the answer the icon is asked for again when its
        // asker notices; the thread goes on.
        try {
            thread->answered.push_back(std::move(read));
        } catch (const std::bad_alloc&) {
        }
        thread->changed.notify_all();
        if (thread->asked.empty() && thread->hwndNotify != NULL)
            PostMessageW(thread->hwndNotify, thread->nNotifyMessage, 0, 0);
    }
}

bool CIconReader::Start()
{
    std::shared_ptr<Thread> thread = std::make_shared<Thread>();
    thread->pRead = m_pRead;
    thread->bDecode = m_bDecode;
    thread->hwndNotify = m_hwndNotify;
    thread->nNotifyMessage = m_nNotifyMessage;
    try {
        std::thread(Run, thread).detach();
    } catch (const std::system_error&) {
        return false;
    }
    m_thread = thread;
    return true;
}

void CIconReader::SetDecode(bool bDecode)
{
    m_bDecode = bDecode;
    if (m_thread) {
        std::lock_guard<std::mutex> lock(m_thread->mutex);
        m_thread->bDecode = bDecode;
    }
}

bool CIconReader::IsStuckOn(const std::wstring& path)
{
    bool bStuck = false;
    m_stuck.erase(std::remove_if(m_stuck.begin(), m_stuck.end(),
                                 [&](const std::shared_ptr<Thread>& stuck) {
                                     std::lock_guard<std::mutex> lock(stuck->mutex);
                                     if (!stuck->busyPath)
                                         return true;
                                     bStuck = bStuck || *stuck->busyPath == path;
                                     return false;
                                 }),
                  m_stuck.end());
    return bStuck;
}

void CIconReader::NotifyWhenIdle(HWND hwnd, UINT nMessage)
{
    m_hwndNotify = hwnd;
    m_nNotifyMessage = nMessage;
    if (m_thread) {
        std::lock_guard<std::mutex> lock(m_thread->mutex);
        m_thread->hwndNotify = hwnd;
        m_thread->nNotifyMessage = nMessage;
    }
}

void CIconReader::Ask(IconRead&& read)
{
    if (IsStuckOn(*read.path) || (!m_thread && !Start())) {
        read.outcome = IconRead::kRetry;
        m_answered.push_back(std::move(read));
        return;
    }
    std::lock_guard<std::mutex> lock(m_thread->mutex);
    m_thread->asked.push_back(std::move(read));
    m_thread->changed.notify_all();
}

bool CIconReader::Take(std::vector<IconRead>& reads, DWORD dwWaitMs)
{
    bool bAny = !m_answered.empty();
    for (IconRead& read : m_answered)
        reads.push_back(std::move(read));
    std::vector<IconRead>().swap(m_answered);
    if (!m_thread)
        return bAny;
    bool bStuck = false;
    {
        Thread& thread = *m_thread;
        std::unique_lock<std::mutex> lock(thread.mutex);
        thread.changed.wait_for(lock, std::chrono::milliseconds(dwWaitMs),
                                [&] { return thread.asked.empty() && !thread.busyPath; });
        bAny = bAny || !thread.answered.empty();
        for (IconRead& read : thread.answered)
            reads.push_back(std::move(read));
        // Once all is answered the queues start afresh: kept, they would grow
        // with the busiest load.
        if (thread.asked.empty() && !thread.busyPath) {
            std::deque<IconRead>().swap(thread.asked);
            std::vector<IconRead>().swap(thread.answered);
        } else {
            thread.answered.clear();
        }
        bStuck = thread.busyPath && GetTickCount() - thread.dwBusySince >= kStuckMs;
    }
    if (bStuck)
        LeaveStuckThread();
    return bAny;
}

void CIconReader::LeaveStuckThread()
{
    std::deque<IconRead> rest;
    IconRead stuck;
    {
        std::lock_guard<std::mutex> lock(m_thread->mutex);
        m_thread->bStop = true;
        m_thread->hwndNotify = NULL;
        rest.swap(m_thread->asked);
        stuck.nIcon = m_thread->nBusyIcon;
        stuck.nSerial = m_thread->nBusySerial;
        stuck.path = m_thread->busyPath;
    }
    stuck.outcome = IconRead::kRetry;
    m_answered.push_back(std::move(stuck));
    m_stuck.push_back(std::move(m_thread));
    m_thread.reset();
    for (IconRead& read : rest)
        Ask(std::move(read));
}

bool CIconReader::IsBusy()
{
    if (!m_answered.empty())
        return true;
    if (!m_thread)
        return false;
    std::lock_guard<std::mutex> lock(m_thread->mutex);
    return !m_thread->asked.empty() || m_thread->busyPath || !m_thread->answered.empty();
}

// The folder scan: a few threads read folders from a shared stack (deepest first, so that
// few folders are open at once), each file's space is added up as it comes, and a folder's
// total goes to its parent as soon as the folder and all below it are read. Only the
// folders to keep are remembered, so memory follows the folders kept, not the files.
#include "app/folder_scan.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "app/folder_walk.h"

const char SCAN_OTHER_NAME[] = "その他 (読めない領域など)";

namespace {

const size_t UNREADABLE_NAMED = 5;  // the first few unreadable folders named in the log
const uint64_t STOP_CHECK_ENTRIES = 4096;

struct Node {
    Node* parent = nullptr;
    std::string path;
    uint32_t depth = 0;
    uint64_t bytes = 0;
    uint32_t pending = 1;  // children not yet finished, and its own reading
    bool incomplete = false;
    bool counted = true;  // false: another volume, or gone: not kept
};

struct RecentOrder {
    bool operator()(const ScanFile& a, const ScanFile& b) const { return a.bytes > b.bytes; }
};

class Scanner {
public:
    Scanner(const ScanOptions& options, uint64_t volumeId, uint64_t threshold)
        : m_options(options), m_volumeId(volumeId), m_threshold(threshold) {}

    void Run(FolderScan* scan, MLogSink& log);

private:
    class Reader;
    void Work();
    Node* Pop();
    void CheckStop();  // under m_lock: the program's stop or the time bound
    void Done(Node* node, std::vector<Node*>* children, const Reader& reader);
    void Finish(Node* node);  // under m_lock
    bool Stopping() const { return m_stopping.load(std::memory_order_relaxed); }
    bool FirstName(uint64_t fileId);  // false for a further name of a file already counted

    const ScanOptions& m_options;
    const uint64_t m_volumeId;
    const uint64_t m_threshold;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Node*> m_stack;  // folders to read, the deepest last
    int m_active = 0;            // threads reading a folder
    bool m_finished = false;     // the root is done
    std::atomic<bool> m_stopping{false};
    std::chrono::steady_clock::time_point m_deadline;
    bool m_timedOut = false;
    bool m_rootTaken = false;  // the root is read even after a stop: a scan holds it at least
    std::atomic<uint64_t> m_files{0};
    std::atomic<uint64_t> m_folders{0};
    std::string m_current;
    std::vector<ScanFolder> m_kept;
    std::vector<ScanFile> m_recent;  // a heap: the smallest first
    uint64_t m_unreadable = 0;
    std::vector<std::string> m_unreadableNamed;
    std::mutex m_linkLock;
    std::unordered_set<uint64_t> m_linked;  // files with more names, counted once
};

// Reads one folder: sums its files, lists its subfolders.
class Scanner::Reader : public WalkVisitor {
public:
    Reader(Scanner* scanner, Node* node, std::vector<Node*>* children)
        : m_scanner(scanner), m_node(node), m_children(children) {}

    bool OnEntry(const WalkEntry& entry) override {
        if ((++m_entries % STOP_CHECK_ENTRIES) == 0 && m_scanner->Stopping()) {
            m_stopped = true;
            return false;
        }
        if (entry.folder) {
            Node* child = new Node;
            child->parent = m_node;
            child->path = WalkJoin(m_node->path, entry.name);
            child->depth = m_node->depth + 1;
            m_children->push_back(child);
            return true;
        }
        ++m_files;
        if (entry.maybeLinked && !m_scanner->FirstName(entry.fileId)) {
            return true;
        }
        m_bytes += entry.bytes;
        if (entry.changeTime >= m_scanner->m_options.now - SCAN_RECENT_SECONDS &&
            entry.bytes > 0) {
            m_recent.push_back(ScanFile{WalkJoin(m_node->path, entry.name), entry.bytes,
                                        entry.changeTime});
            // Only the largest few of a folder are worth handing on.
            if (m_recent.size() > 2 * SCAN_RECENT_FILES) {
                TrimRecent(&m_recent);
            }
        }
        return true;
    }

    static void TrimRecent(std::vector<ScanFile>* files) {
        std::sort(files->begin(), files->end(), RecentOrder());
        if (files->size() > SCAN_RECENT_FILES) {
            files->resize(SCAN_RECENT_FILES);
        }
    }

    Scanner* m_scanner;
    Node* m_node;
    std::vector<Node*>* m_children;
    uint64_t m_entries = 0;
    uint64_t m_files = 0;
    uint64_t m_bytes = 0;
    bool m_stopped = false;
    bool m_unreadable = false;
    std::vector<ScanFile> m_recent;
};

}  // namespace

uint64_t DeepFolderThreshold(uint64_t usedBytes) {
    return usedBytes / 100 * SCAN_DEEP_SHARE_PERCENT;
}

void KeepLargestFolders(std::vector<ScanFolder>* folders, size_t max) {
    if (folders->size() <= max) {
        return;
    }
    std::sort(folders->begin(), folders->end(), [](const ScanFolder& a, const ScanFolder& b) {
        if (a.bytes != b.bytes) {
            return a.bytes > b.bytes;
        }
        if (a.depth != b.depth) {
            return a.depth < b.depth;
        }
        return a.path < b.path;
    });
    folders->resize(max);
}

void Scanner::CheckStop() {
    if (m_stopping) {
        return;
    }
    if (std::chrono::steady_clock::now() >= m_deadline) {
        m_timedOut = true;
        m_stopping = true;
    } else if (m_options.stop != nullptr && m_options.stop->load()) {
        m_stopping = true;
    }
    if (m_stopping) {
        m_wake.notify_all();
    }
}

Node* Scanner::Pop() {
    std::unique_lock<std::mutex> hold(m_lock);
    CheckStop();
    m_wake.wait(hold, [&] { return Stopping() || !m_stack.empty() || m_active == 0; });
    if ((Stopping() && m_rootTaken) || m_stack.empty()) {
        return nullptr;
    }
    m_rootTaken = true;
    Node* node = m_stack.back();
    m_stack.pop_back();
    ++m_active;
    if (m_options.progress) {
        m_current = node->path;
    }
    return node;
}

void Scanner::Work() {
    if (m_options.background) {
        WalkLowerThreadPriority();
    }
    WalkFolder folder;
    std::vector<Node*> children;
    while (Node* node = Pop()) {
        children.clear();
        Reader reader(this, node, &children);
        uint64_t own = 0;
        switch (folder.Open(node->path, m_volumeId, &own)) {
            case WALK_OPENED:
                if (!folder.Read(&reader)) {
                    reader.m_unreadable = !reader.m_stopped;
                }
                break;
            case WALK_UNREADABLE:
                reader.m_unreadable = true;
                break;
            case WALK_OTHER_VOLUME:
            case WALK_GONE:
                node->counted = false;
                break;
        }
        reader.m_bytes += own;
        Done(node, &children, reader);
    }
}

void Scanner::Done(Node* node, std::vector<Node*>* children, const Reader& reader) {
    m_files.fetch_add(reader.m_files, std::memory_order_relaxed);
    m_folders.fetch_add(node->counted ? 1 : 0, std::memory_order_relaxed);
    std::lock_guard<std::mutex> hold(m_lock);
    node->bytes += reader.m_bytes;
    // An unreadable folder leaves the same gap in every scan (its space is in the other
    // line): only a stop leaves a folder not read whole.
    node->incomplete = node->incomplete || reader.m_stopped;
    if (reader.m_unreadable) {
        ++m_unreadable;
        if (m_unreadableNamed.size() < UNREADABLE_NAMED) {
            m_unreadableNamed.push_back(node->path);
        }
    }
    for (const ScanFile& file : reader.m_recent) {
        m_recent.push_back(file);
        std::push_heap(m_recent.begin(), m_recent.end(), RecentOrder());
        if (m_recent.size() > SCAN_RECENT_FILES) {
            std::pop_heap(m_recent.begin(), m_recent.end(), RecentOrder());
            m_recent.pop_back();
        }
    }
    node->pending += static_cast<uint32_t>(children->size());
    // Pushed in reverse, so that the folders are read in the order listed.
    m_stack.insert(m_stack.end(), children->rbegin(), children->rend());
    --m_active;
    if (--node->pending == 0) {
        Finish(node);
    }
    m_wake.notify_all();
}

void Scanner::Finish(Node* node) {
    while (node != nullptr) {
        if (node->counted && (node->depth <= SCAN_ALL_FOLDERS_DEPTH || node->bytes >= m_threshold)) {
            m_kept.push_back(ScanFolder{node->path, node->bytes, node->depth, !node->incomplete});
            if (m_kept.size() >= 2 * size_t{m_options.maxFolders}) {
                KeepLargestFolders(&m_kept, m_options.maxFolders);
            }
        }
        Node* parent = node->parent;
        if (parent == nullptr) {
            m_finished = true;
        } else {
            parent->bytes += node->bytes;
            parent->incomplete = parent->incomplete || node->incomplete;
        }
        delete node;
        if (parent == nullptr || --parent->pending > 0) {
            return;
        }
        node = parent;
    }
}

bool Scanner::FirstName(uint64_t fileId) {
    std::lock_guard<std::mutex> hold(m_linkLock);
    return m_linked.insert(fileId).second;
}

void Scanner::Run(FolderScan* scan, MLogSink& log) {
    m_deadline = std::chrono::steady_clock::now() + m_options.timeLimit;
    Node* root = new Node;
    root->path = m_options.root;
    m_stack.push_back(root);
    std::vector<std::thread> threads;
    int count = std::max(1, m_options.threads);
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([this] { Work(); });
    }
    {
        std::unique_lock<std::mutex> hold(m_lock);
        while (!m_finished && !(m_stack.empty() && m_active == 0)) {
            m_wake.wait_for(hold, std::chrono::milliseconds(250));
            CheckStop();
            if (Stopping()) {
                break;
            }
            if (m_options.progress) {
                ScanProgress progress{m_folders.load(), m_files.load(), m_current};
                hold.unlock();
                m_options.progress(progress);
                hold.lock();
            }
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // A stopped scan: what was not read is left out, and every folder above it is marked
    // as not read whole.
    scan->partial = Stopping();
    while (!m_stack.empty()) {
        Node* node = m_stack.back();
        m_stack.pop_back();
        node->counted = false;
        node->parent->incomplete = true;
        if (--node->pending == 0) {
            Finish(node);
        }
    }
    scan->fileCount = m_files;
    scan->folderCount = m_folders;
    scan->unreadableCount = m_unreadable;
    KeepLargestFolders(&m_kept, m_options.maxFolders);
    std::sort(m_kept.begin(), m_kept.end(),
              [](const ScanFolder& a, const ScanFolder& b) { return a.path < b.path; });
    scan->folders.swap(m_kept);
    std::sort(m_recent.begin(), m_recent.end(), RecentOrder());
    scan->files.swap(m_recent);
    for (const std::string& path : m_unreadableNamed) {
        log.Write("フォルダを読めません。(%s)", path.c_str());
    }
    if (m_unreadable > 0) {
        log.Write("%s の走査で読めなかったフォルダ: %llu 個", m_options.root.c_str(),
                  static_cast<unsigned long long>(m_unreadable));
    }
    if (m_timedOut) {
        log.Write("%s の走査が時間の上限に達したため、途中までの結果を残します", m_options.root.c_str());
    }
}

bool RunFolderScan(const ScanOptions& options, MLogSink& log, FolderScan* scan) {
    *scan = FolderScan();
    scan->root = options.root;
    scan->startTime = options.now;
    WalkVolume volume;
    if (!WalkVolumeOf(options.root, &volume)) {
        log.Write("フォルダを走査できません。(%s)", options.root.c_str());
        return false;
    }
    scan->usedBytes = volume.usedBytes;
    scan->volumeRoot = volume.isRoot;
    auto started = std::chrono::steady_clock::now();
    Scanner scanner(options, volume.id, DeepFolderThreshold(volume.usedBytes));
    scanner.Run(scan, log);
    scan->endTime = options.now + std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count();
    if (scan->folders.empty() || scan->folders.front().path != options.root) {
        log.Write("フォルダを走査できません。(%s)", options.root.c_str());
        return false;
    }
    uint64_t counted = scan->folders.front().bytes;
    if (scan->volumeRoot && !scan->partial && scan->usedBytes > counted) {
        scan->otherBytes = scan->usedBytes - counted;
    }
    return true;
}

#pragma once
// A reader-writer lock with an upgradable read mode: any number of shared readers
// may coexist with one upgradable reader, which can become the exclusive writer
// once the shared readers have left, and step back down again.

#include <condition_variable>
#include <mutex>

namespace nkinstr {

class UpgradableRwLock {
public:
    void lock_shared() {
        std::unique_lock g(m_);
        cv_.wait(g, [&] { return !writer_; });
        ++readers_;
    }
    void unlock_shared() {
        std::lock_guard g(m_);
        if (--readers_ == 0) cv_.notify_all();
    }
    void lock_upgradable() {
        std::unique_lock g(m_);
        cv_.wait(g, [&] { return !writer_ && !upgradable_; });
        upgradable_ = true;
    }
    void unlock_upgradable() {
        std::lock_guard g(m_);
        upgradable_ = false;
        cv_.notify_all();
    }
    // Upgradable -> exclusive: waits for the shared readers to leave.
    void upgrade() {
        std::unique_lock g(m_);
        cv_.wait(g, [&] { return readers_ == 0; });
        writer_ = true;
    }
    // Exclusive -> upgradable.
    void downgrade() {
        std::lock_guard g(m_);
        writer_ = false;
        cv_.notify_all();
    }
    void lock() {
        lock_upgradable();
        upgrade();
    }
    void unlock() {
        std::lock_guard g(m_);
        writer_ = false;
        upgradable_ = false;
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    unsigned readers_ = 0;
    bool upgradable_ = false;
    bool writer_ = false;
};

class SharedGuard {
public:
    explicit SharedGuard(UpgradableRwLock& l) : l_(&l) { l_->lock_shared(); }
    SharedGuard(SharedGuard&& o) noexcept : l_(o.l_) { o.l_ = nullptr; }
    SharedGuard& operator=(SharedGuard&&) = delete;
    ~SharedGuard() {
        if (l_) l_->unlock_shared();
    }

private:
    UpgradableRwLock* l_;
};

class UpgradableGuard {
public:
    explicit UpgradableGuard(UpgradableRwLock& l) : l_(l) { l_.lock_upgradable(); }
    UpgradableGuard(const UpgradableGuard&) = delete;
    ~UpgradableGuard() {
        if (exclusive_) l_.downgrade();
        l_.unlock_upgradable();
    }
    void upgrade() {
        l_.upgrade();
        exclusive_ = true;
    }
    void downgrade() {
        l_.downgrade();
        exclusive_ = false;
    }

private:
    UpgradableRwLock& l_;
    bool exclusive_ = false;
};

}  // namespace nkinstr

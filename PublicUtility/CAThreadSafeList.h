// A list that any thread may ask to change and that only one thread (the render thread) reads.
// Requests queue on a lock-free stack; update() applies them in the order they were made. Nodes
// are reused through a free stack and never freed while the list lives, so the reading thread
// neither allocates nor frees.
#pragma once

#include "CAAtomicStack.h"
#include "CAAutoDisposer.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>
#include <type_traits>

template <class T> class TThreadSafeList {
    // Nodes are raw memory that the render thread recycles without running destructors (which
    // might free), and a reused node's value is simply constructed over the old one.
    static_assert(std::is_trivially_copyable_v<T>, "list values must be plain data");

public:
    enum EEventType { kAdd = 0, kRemove = 1 };

    struct Node {
        Node* next;
        EEventType eventType;
        T object;
    };

    class iterator {
    public:
        explicit iterator(Node* node) : mNode(node) {}
        const T& operator*() const { return mNode->object; }
        iterator& operator++() {
            mNode = mNode->next;
            return *this;
        }
        bool operator==(const iterator& other) const { return mNode == other.mNode; }
        bool operator!=(const iterator& other) const { return mNode != other.mNode; }

    private:
        Node* mNode;
    };

    TThreadSafeList() = default;
    TThreadSafeList(const TThreadSafeList&) = delete;
    TThreadSafeList& operator=(const TThreadSafeList&) = delete;
    ~TThreadSafeList() {
        FreeAll(mActiveList);
        FreeAll(mPendingList);
        FreeAll(mFreeList);
    }

    // [any thread] Queue an addition or a removal; takes effect at the next update().
    void deferred_add(const T& object) { Queue(kAdd, object); }
    void deferred_remove(const T& object) { Queue(kRemove, object); }

    // [render thread] Apply the queued requests in the order they were made.
    void update() {
        Node* chain = mPendingList.pop_all();
        if (chain == nullptr) {
            return;
        }
        TAtomicStack<Node> inOrder;
        while (chain != nullptr) {
            Node* next = chain->next;
            inOrder.push_NA(chain);
            chain = next;
        }
        while (Node* request = inOrder.pop_NA()) {
            if (request->eventType == kAdd) {
                ApplyAdd(request);
            } else {
                ApplyRemove(request);
            }
        }
    }

    // [render thread] Iteration over the active list.
    iterator begin() const { return iterator(mActiveList.head()); }
    iterator end() const { return iterator(nullptr); }

    // [any thread] A node from the free stack, or a new one when every node is in use. A thread
    // popping one node holds the whole free stack for a moment, so an empty stack does not mean
    // that no node is free; allocating then would let concurrent requests grow the list without
    // bound (and lengthen every later pop). It waits for that node instead.
    Node* AllocNode() {
        for (;;) {
            if (Node* node = mFreeList.pop_atomic()) {
                mFreeNodes.fetch_sub(1, std::memory_order_seq_cst);
                return node;
            }
            if (mFreeNodes.load(std::memory_order_seq_cst) <= 0) {
                break;
            }
            std::this_thread::yield();
        }
        mNodeCount.fetch_add(1, std::memory_order_relaxed);
        return static_cast<Node*>(CA_malloc(sizeof(Node)));
    }
    // Counted free before it can be popped, so that a waiting AllocNode never misses it.
    void FreeNode(Node* node) {
        mFreeNodes.fetch_add(1, std::memory_order_seq_cst);
        mFreeList.push_atomic(node);
    }

    // [any thread] Nodes allocated over the list's life; the memory it holds.
    std::size_t NodeCount() const { return mNodeCount.load(std::memory_order_relaxed); }

private:
    void Queue(EEventType type, const T& object) {
        Node* node = AllocNode();
        node->eventType = type;
        new (&node->object) T(object);
        mPendingList.push_atomic(node);
    }

    void ApplyAdd(Node* request) {
        Node* last = nullptr;
        for (Node* node = mActiveList.head(); node != nullptr; node = node->next) {
            if (node->object == request->object) {
                FreeNode(request);
                return;
            }
            last = node;
        }
        request->next = nullptr;
        if (last == nullptr) {
            mActiveList.push_NA(request);
        } else {
            last->next = request;
        }
    }

    void ApplyRemove(Node* request) {
        Node* previous = nullptr;
        for (Node* node = mActiveList.head(); node != nullptr; node = node->next) {
            if (node->object == request->object) {
                if (previous == nullptr) {
                    mActiveList.pop_NA();
                } else {
                    previous->next = node->next;
                }
                FreeNode(node);
                break;
            }
            previous = node;
        }
        FreeNode(request);
    }

    static void FreeAll(TAtomicStack<Node>& stack) {
        while (Node* node = stack.pop_NA()) {
            std::free(node);
        }
    }

    TAtomicStack<Node> mActiveList; // touched by the render thread only
    TAtomicStack<Node> mPendingList;
    TAtomicStack<Node> mFreeList;
    std::atomic<long> mFreeNodes{0}; // on the free stack or on their way on or off it
    std::atomic<std::size_t> mNodeCount{0};
};

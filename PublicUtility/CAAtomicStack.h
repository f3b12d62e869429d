// A lock-free stack of intrusively linked nodes (the node type has a `next` pointer). Every change
// of the head is a sequentially consistent compare-and-swap, which also publishes the contents of
// a node written before it is pushed.
#pragma once

#include <atomic>

template <class T> class TAtomicStack {
public:
    TAtomicStack() = default;
    TAtomicStack(const TAtomicStack&) = delete;
    TAtomicStack& operator=(const TAtomicStack&) = delete;

    // Not atomic: for stacks that only one thread touches.
    void push_NA(T* item) {
        item->next = mHead.load(std::memory_order_relaxed);
        mHead.store(item, std::memory_order_relaxed);
    }
    T* pop_NA() {
        T* result = mHead.load(std::memory_order_relaxed);
        if (result != nullptr) {
            mHead.store(result->next, std::memory_order_relaxed);
        }
        return result;
    }
    bool empty() const { return mHead.load(std::memory_order_seq_cst) == nullptr; }
    T* head() const { return mHead.load(std::memory_order_seq_cst); }

    void push_atomic(T* item) {
        T* head;
        do {
            head = mHead.load(std::memory_order_seq_cst);
            item->next = head;
        } while (!compare_and_swap(head, item));
    }

    // Links a whole chain (ending in a null next) in one step.
    void push_multiple_atomic(T* chain) {
        T* last = chain;
        while (last->next != nullptr) {
            last = last->next;
        }
        T* head;
        do {
            head = mHead.load(std::memory_order_seq_cst);
            last->next = head;
        } while (!compare_and_swap(head, chain));
    }

    // Taking the whole stack avoids the lost update of popping one node with one swap.
    T* pop_atomic() {
        T* chain = pop_all();
        if (chain == nullptr) {
            return nullptr;
        }
        if (T* rest = chain->next) {
            // Usually nothing has been pushed meanwhile: the rest goes back without a walk to
            // its end, which keeps the moment the stack looks empty to other threads short.
            if (!compare_and_swap(nullptr, rest)) {
                push_multiple_atomic(rest);
            }
        }
        chain->next = nullptr;
        return chain;
    }

    T* pop_all() {
        T* head;
        do {
            head = mHead.load(std::memory_order_seq_cst);
            if (head == nullptr) {
                return nullptr;
            }
        } while (!compare_and_swap(head, nullptr));
        return head;
    }

    bool compare_and_swap(T* oldHead, T* newHead) {
        return mHead.compare_exchange_strong(oldHead, newHead, std::memory_order_seq_cst);
    }

private:
    std::atomic<T*> mHead{nullptr};
};

#pragma once

#include "chart/ChunkedColumn.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace flowloom::chart {

// One series' view of a column of values that several series may share.
//
// The graph appends the same label time to all four of its series on every
// tick, and the same value to the filled and the line series of a direction.
// Series that are fed alike therefore read one stored copy: a handle appends
// by comparing its value with the one already stored at its position and
// stores nothing when they agree. The first disagreement gives the handle a
// private copy of its own values, so sharing never changes what a series
// holds; it only saves memory while the series move in step.
template <typename T> class ColumnHandle
{
    struct Storage
    {
        ChunkedColumn<T> values;
        // Raised whenever the column is emptied, so that a handle positioned in
        // an earlier filling knows its position is stale.
        std::uint64_t generation = 0;
        // Handles that currently hold at least one value in this column; when
        // the last of them is emptied the column releases its memory.
        std::size_t holders = 0;

        void reset()
        {
            values.clear();
            ++generation;
        }
    };

public:
    ColumnHandle() : m_storage(std::make_shared<Storage>()) {}

    ColumnHandle(const ColumnHandle&) = delete;
    ColumnHandle& operator=(const ColumnHandle&) = delete;

    ColumnHandle(ColumnHandle&& other) noexcept
        : m_storage(std::move(other.m_storage)), m_base(other.m_base),
          m_generation(other.m_generation), m_holding(std::exchange(other.m_holding, false))
    {}

    ColumnHandle& operator=(ColumnHandle&& other) noexcept
    {
        if (this != &other) {
            release();
            m_storage = std::move(other.m_storage);
            m_base = other.m_base;
            m_generation = other.m_generation;
            m_holding = std::exchange(other.m_holding, false);
        }
        return *this;
    }

    ~ColumnHandle() { release(); }

    // A new, empty handle on the same column, positioned where the next value
    // of a series fed in step with this one will land.
    ColumnHandle shareStorage() const
    {
        ColumnHandle handle(m_storage);
        handle.m_base = m_storage->values.size();
        handle.m_generation = m_storage->generation;
        return handle;
    }

    // Appends value as the owner's element number count (count = the number of
    // values the owner held before).
    void append(const T& value, std::size_t count)
    {
        if (count == 0) {
            // An empty handle whose column was emptied since it was positioned
            // starts where every other series restarted: at the front.
            if (m_generation != m_storage->generation) {
                m_base = 0;
                m_generation = m_storage->generation;
            }
            hold();
        }
        const std::size_t index = m_base + count;
        ChunkedColumn<T>& values = m_storage->values;
        if (index == values.size()) {
            values.push(value);
        } else if (index > values.size() || !sameValue(values[index], value)) {
            detach(count);
            m_storage->values.push(value);
        }
    }

    // The owner was emptied.
    void clear()
    {
        release();
        m_base = m_storage->values.size();
        m_generation = m_storage->generation;
    }

    const T& at(std::size_t index) const { return m_storage->values[m_base + index]; }

    // Identifies the column, so that memory accounting counts a shared column once.
    const void* storageId() const { return m_storage.get(); }
    std::size_t allocatedBytes() const { return m_storage->values.allocatedBytes(); }

private:
    explicit ColumnHandle(std::shared_ptr<Storage> storage) : m_storage(std::move(storage)) {}

    static bool sameValue(const T& a, const T& b)
    {
        // Bitwise for floating point, so that NaN and -0.0 are stored exactly.
        if constexpr (std::is_same_v<T, double>)
            return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
        else
            return a == b;
    }

    void hold()
    {
        if (!m_holding) {
            m_holding = true;
            ++m_storage->holders;
        }
    }

    void release()
    {
        if (m_holding && m_storage) {
            m_holding = false;
            if (--m_storage->holders == 0)
                m_storage->reset();
        }
    }

    // Moves this handle's first count values into a column of its own.
    void detach(std::size_t count)
    {
        auto own = std::make_shared<Storage>();
        for (std::size_t i = 0; i < count; ++i)
            own->values.push(m_storage->values[m_base + i]);
        release();
        m_storage = std::move(own);
        m_base = 0;
        m_generation = m_storage->generation;
        hold();
    }

    std::shared_ptr<Storage> m_storage;
    std::size_t m_base = 0;
    std::uint64_t m_generation = 0;
    bool m_holding = false;
};

} // namespace flowloom::chart

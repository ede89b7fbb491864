#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace flowloom::chart {

// An append-only column of values kept in fixed-size blocks. A run with no
// page limit appends one value per second for weeks; blocks keep the memory
// at the values actually held (plus at most one partly filled block) instead
// of the doubling overshoot of a growing vector, and appending never moves
// the values already stored.
template <typename T, std::size_t BlockSize = 1024> class ChunkedColumn
{
    static_assert((BlockSize & (BlockSize - 1)) == 0, "block size must be a power of two");

public:
    static constexpr std::size_t blockSize = BlockSize;

    void push(const T& value)
    {
        if (m_size == m_blocks.size() * BlockSize)
            m_blocks.push_back(std::make_unique_for_overwrite<T[]>(BlockSize));
        m_blocks[m_size / BlockSize][m_size % BlockSize] = value;
        ++m_size;
    }

    const T& operator[](std::size_t index) const
    {
        return m_blocks[index / BlockSize][index % BlockSize];
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    // Releases every block, not only the values.
    void clear()
    {
        m_blocks.clear();
        m_blocks.shrink_to_fit();
        m_size = 0;
    }

    // Heap bytes held by the column: the blocks and the table that points to them.
    std::size_t allocatedBytes() const
    {
        return m_blocks.size() * BlockSize * sizeof(T) +
               m_blocks.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    std::vector<std::unique_ptr<T[]>> m_blocks;
    std::size_t m_size = 0;
};

} // namespace flowloom::chart

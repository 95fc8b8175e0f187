// TrendHistory: the most recent readings of one channel, a fixed number of
// (count number, value) points in a ring, oldest first when read. Adding a
// point is O(1) and allocates nothing once the ring is full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TrendHistory {
public:
    struct Point {
        int64_t count; // number of the finished count, from 1
        double value;
    };

    explicit TrendHistory(size_t capacity) : m_capacity(capacity) { m_points.reserve(capacity); }

    void add(int64_t count, double value) {
        if (m_capacity == 0) return;
        if (m_points.size() < m_capacity) {
            m_points.push_back({count, value});
            return;
        }
        m_points[m_oldest] = {count, value};
        m_oldest = (m_oldest + 1) % m_capacity;
    }
    void clear() {
        m_points.clear();
        m_oldest = 0;
    }

    size_t size() const { return m_points.size(); }
    size_t capacity() const { return m_capacity; }
    // The i-th point, oldest first.
    const Point& operator[](size_t i) const { return m_points[(m_oldest + i) % m_points.size()]; }

private:
    size_t m_capacity;
    size_t m_oldest = 0; // index of the oldest point once the ring is full
    std::vector<Point> m_points;
};

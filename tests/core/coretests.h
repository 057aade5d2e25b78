#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace scrivane::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<TestFactory>& CoreTests();

template <typename T>
struct RegisterTest {
    RegisterTest() {
        CoreTests().push_back([] { return std::make_unique<T>(); });
    }
};

inline std::vector<TestFactory>& CoreTests() {
    static std::vector<TestFactory> tests;
    return tests;
}

}  // namespace scrivane::test

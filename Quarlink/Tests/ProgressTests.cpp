#include "Quarlink/Client/Progress.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

TEST(Progress, childrenMadeWhileCurrentCountForTheirPendingShare)
{
    // A child made while its parent is current stands for the pending units; the parent's fraction
    // follows the child's, and an unknown total keeps the fraction at zero.
    auto parent = Progress::make(4);
    parent->becomeCurrent(2);
    auto child = Progress::makeWithCurrentParent(100);
    parent->resignCurrent();
    EXPECT_EQ(Progress::current(), nullptr);
    auto unrelated = Progress::makeWithCurrentParent(10);

    child->setCompletedUnitCount(50);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 0.25);
    parent->setCompletedUnitCount(2);
    child->setCompletedUnitCount(100);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 1.0);
    unrelated->setCompletedUnitCount(10);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 1.0);

    auto unknown = Progress::make(-1);
    unknown->setCompletedUnitCount(500);
    EXPECT_DOUBLE_EQ(unknown->fractionCompleted(), 0.0);
}

TEST(Progress, cancellingReachesChildrenOnce)
{
    // Cancelling a parent cancels its children; observers see the flag change once.
    auto parent = Progress::make(1);
    auto child = Progress::make(1);
    parent->addChild(child, 1);
    std::vector<bool> seen;
    auto observation = child->cancelledProducer().startWithValues([&](const bool& cancelled) { seen.push_back(cancelled); });
    parent->cancel();
    parent->cancel();
    EXPECT_TRUE(child->isCancelled());
    EXPECT_EQ(seen, (std::vector<bool> { false, true }));
    observation.dispose();
}

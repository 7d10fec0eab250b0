// The hand-off of worker calls to the window thread: where calls run, that a
// worker waits for its call and sees what it did, and the order of calls.

#include "frontend/window_caller.h"

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

using frontend::WindowCaller;

class WindowCallerTest : public QObject {
  Q_OBJECT
 private slots:
  void aWorkersCallRunsOnTheWindowThreadWhileTheWorkerWaits() {
    WindowCaller caller;
    const std::thread::id window_thread = std::this_thread::get_id();
    std::thread::id ran_on;
    int result = 0;
    int seen = 0;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
      const int input = 41;
      caller.Call([&] {
        ran_on = std::this_thread::get_id();
        result = input + 1;
      });
      seen = result;
      returned = true;
    });
    // Without the window's event loop the call cannot run, so the worker waits.
    QTest::qSleep(50);
    QVERIFY(!returned);
    QTRY_VERIFY_WITH_TIMEOUT(returned, 5000);
    worker.join();
    QVERIFY(ran_on == window_thread);
    QCOMPARE(seen, 42);
  }

  void aCallOnTheWindowThreadRunsAtOnce() {
    WindowCaller caller;
    bool ran = false;
    caller.Call([&] { ran = true; });
    QVERIFY(ran);
  }

  // Events: the sender never waits; queued ones run at the loop's next turn
  // or when the window thread asks for them at once.
  void aDeliveredCallRunsAtOnceHereAndQueuedFromAWorker() {
    WindowCaller caller;
    std::vector<int> order;  // window thread only
    caller.Deliver([&] { order.push_back(1); });
    QCOMPARE(order, std::vector<int>{1});
    std::thread worker([&] {
      caller.Deliver([&] { order.push_back(2); });
      caller.Deliver([&] { order.push_back(3); });
    });
    worker.join();  // the worker did not wait for its calls
    QCOMPARE(order, std::vector<int>{1});
    caller.RunPending();
    QCOMPARE(order, (std::vector<int>{1, 2, 3}));
  }

  void postedAndWaitedCallsRunInTheOrderHandedOver() {
    WindowCaller caller;
    std::vector<int> order;  // window thread only
    std::atomic<bool> returned{false};
    std::thread worker([&] {
      caller.Post([&] { order.push_back(1); });
      caller.Call([&] { order.push_back(2); });
      caller.Post([&] { order.push_back(3); });
      caller.Post([&] { order.push_back(4); });
      returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned, 5000);
    worker.join();
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), size_t(4), 5000);
    QCOMPARE(order, (std::vector<int>{1, 2, 3, 4}));
  }

  void eachOfTwoWorkersGetsTheResultOfItsOwnCalls() {
    WindowCaller caller;
    constexpr int kCalls = 20;
    int window_count = 0;  // window thread only
    std::atomic<int> finished{0};
    int wrong[2] = {0, 0};
    auto work = [&](int id) {
      for (int i = 0; i < kCalls; ++i) {
        int answer = -1;
        caller.Call([&] {
          ++window_count;
          answer = id * 1000 + i;
        });
        if (answer != id * 1000 + i) ++wrong[id];
      }
      ++finished;
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.load(), 2, 10000);
    first.join();
    second.join();
    QCOMPARE(window_count, 2 * kCalls);
    QCOMPARE(wrong[0], 0);
    QCOMPARE(wrong[1], 0);
  }
};

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  WindowCallerTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_caller_test.moc"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "netsfile_support.h"
#include "uZ5NetsFileController.h"

using namespace netstest;

// The scan asks while a client saves: every answer comes from one whole tree.
TEST(NetsFileThreads, QueriesDuringSavesSeeOneWholeTree) {
    ScratchFolder dir;
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();

    const TreeValue a{u"", false, {{1, true, false, u"", u"A", {{u"RTUU", u"1000000000000001", 4, {{u"RTCU", u"2000000000000002"}}}}}}};
    const TreeValue b{u"", false, {{2, true, false, u"", u"B", {{u"RTUU", u"2000000000000002", 9, {{u"RTCU", u"1000000000000001"}}}}}}};
    const TreeValue none{u"", false, {{3, false, false, u"", u"C", {}}}};

    std::atomic<bool> done{false};
    std::atomic<int> wrong{0}, asked{0};
    auto reader = [&] {
        while (!done) {
            int32_t ch = 0;
            bool in = ctl.IsMACInActiveNet("1000000000000001", ch);
            if (!in || (ch != 4 && ch != -1)) ++wrong;
            in = ctl.IsMACInActiveNet("2000000000000002", ch);
            if (!in || (ch != 9 && ch != -1)) ++wrong;
            in = ctl.IsMACInActiveNet("3000000000000003", ch);
            if (ch != -1) ++wrong;
            ctl.IsSensorOfHardware("2000000000000002", "1000000000000001");
            uint8_t exists = 0;
            std::u16string description;
            ctl.GetDescriptionActiveNet(exists, description);
            if (!(exists == 1 && (description == u"A" || description == u"B")) && !(exists == 0 && description.empty()))
                ++wrong;
            TZ5_HardLock_Networks* copy = ctl.GetNetworksCopy();
            TreeValue seen = Describe(copy);
            z5_nets_free(copy);
            if (!(seen == a || seen == b || seen == none || seen == TreeValue{})) ++wrong;
            ctl.Changed();
            ++asked;
        }
    };
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) readers.emplace_back(reader);
    std::thread saver([&] {
        for (int round = 0; round < 25; ++round)
            for (const TreeValue* value : {&a, &b, &none}) {
                TZ5_HardLock_Networks* tree = BuildTree(*value);
                ctl.SaveNetworks(tree);
                z5_nets_free(tree);
            }
        done = true;
    });
    saver.join();
    for (auto& t : readers) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(asked, 0);

    TZ5_HardLock_Networks* last = ctl.GetNetworksCopy();
    EXPECT_EQ(Describe(last), none);
    z5_nets_free(last);
}

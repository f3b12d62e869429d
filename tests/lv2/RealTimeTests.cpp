// The description declares the plug-ins hard real-time capable, which holds only while run()
// allocates nothing, takes no lock and makes no system call, in the plug-in or in the unit.
#include "PluginHarness.h"
#include "RealTimeCounters.h"

#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>

namespace lv2test {
namespace {

constexpr int32_t kMaxBlockLength = 256;

// Every kind of run a host makes: blocks shorter and longer than a slice, changes of both
// parameters, each of which starts a crossfade or a glide that outlasts some blocks, and bypass
// on and off, fading too.
void RunLikeAHost(Instance& instance) {
    for (int round = 0; round < 10; ++round) {
        instance.Set({float(1 + round % 5), float(round - 5)});
        instance.Enable(round % 3 != 2);
        for (uint32_t frames : {1u, 37u, uint32_t(kMaxBlockLength), 1000u}) {
            instance.Run(frames);
        }
    }
}

// An instance past its first run, so that nothing left for the first call is counted.
class PreparedInstance {
public:
    explicit PreparedInstance(unsigned channels) : mInstance(channels, mFeatures.Get()) {
        mInstance.Connect(1000);
        mInstance.Activate();
        mInstance.Run(1000);
    }
    Instance& Get() { return mInstance; }

private:
    HostFeatures mFeatures{kMaxBlockLength};
    Instance mInstance;
};

TEST(Lv2RealTime, RunAllocatesNothingAndTakesNoLock) {
    for (unsigned channels : {1u, 2u}) {
        PreparedInstance prepared(channels);
        StartCounting();
        RunLikeAHost(prepared.Get());
        StopCounting();
        EXPECT_EQ(CountedAllocations(), 0) << channels << " channels";
        EXPECT_EQ(CountedLocks(), 0) << channels << " channels";
    }
}

// In a child that any system call but exit_group kills.
[[noreturn]] void RunWithoutSystemCalls(Instance& instance) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_exit_group, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    };
    const sock_fprog program{sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        _exit(2);
    }
    RunLikeAHost(instance);
    syscall(SYS_exit_group, 0);
    __builtin_unreachable();
}

TEST(Lv2RealTime, RunMakesNoSystemCall) {
    for (unsigned channels : {1u, 2u}) {
        PreparedInstance prepared(channels);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RunWithoutSystemCalls(prepared.Get());
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << channels << " channels: "
            << (WIFSIGNALED(status) ? "run() made a system call" : "the filter was refused");
    }
}

} // namespace
} // namespace lv2test

// The log lines of a "*" row's volumes from cycle to cycle: each change said once, a
// failed list changing nothing, rows of explicit paths not counted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "monitor/volume_changes.h"

namespace {

CheckResult Row(const char* path, bool ofAllVolumes = true, bool noVolumes = false) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    strcpy(result.host, "srv");
    strcpy(result.path, path);
    result.port = 50801;
    result.ofAllVolumes = ofAllVolumes;
    result.noVolumes = noVolumes;
    return result;
}

TEST(VolumeChanges, EachComingAndGoingIsSaidOnce) {
    const struct {
        std::vector<CheckResult> cycle;
        std::vector<std::string> lines;
    } cycles[] = {
        {{Row("/"), Row("/srv"), Row("/x", false)}, {"srv (50801)のボリューム 2個を監視します"}},
        {{Row("/")}, {"srv (50801)のボリュームがなくなりました: /srv"}},
        {{Row("/")}, {}},
        {{Row("*")}, {}},  // no list this time: nothing came or went
        {{Row("/"), Row("/新")}, {"srv (50801)に新しいボリュームがあります: /新"}},
        {{Row("*", true, true)},  // a list without volumes: the last ones have gone
         {"srv (50801)のボリュームがなくなりました: /",
          "srv (50801)のボリュームがなくなりました: /新"}},
    };
    VolumeChanges changes;
    for (const auto& c : cycles) {
        EXPECT_EQ(c.lines, changes.Update(c.cycle));
    }
}

}  // namespace

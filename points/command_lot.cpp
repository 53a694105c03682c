// marula-points lot: the job's parcels (画地) from the shell.
//
//   lot list                  NAME<TAB>VERTEX COUNT, by name
//   lot show NAME             the vertex names, one a line
//   lot add NAME P1 P2 P3 …   a new parcel (3 vertices or more)
//   lot delete NAME           the parcel goes, its points stay
#include <cstdio>
#include <iostream>

#include "base/printable.h"
#include "base/text_codec.h"
#include "job/parcels.h"
#include "points_command.h"

namespace marula::points_command {

using namespace marula::job;

namespace {

int lot_list(Parcels& parcels, const Args& params) {
    if (params.size() != 1) return usage("lot list takes no arguments");
    const auto listed = parcels.list();
    if (!listed.ok()) return job_failure(*listed.trouble);
    std::string out;
    for (const ParcelSummary& p : listed.value) out += printable(p.name) + "\t" + std::to_string(p.vertices) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kDone;
}

int lot_show(Parcels& parcels, const Args& params) {
    if (params.size() != 2) return usage("lot show NAME");
    const auto found = parcels.find(params[1]);
    if (!found.ok()) return job_failure(*found.trouble);
    if (!found.value) {
        std::cerr << kProgram << ": 画地 " << printable(trim_blanks(params[1])) << " はありません\n";
        return kUsage;
    }
    // A vertex whose point is gone shows its number.
    for (const Point& p : found.value->vertices)
        std::cout << (p.name.empty() ? "#" + std::to_string(p.number) : printable(p.name)) << "\n";
    return kDone;
}

int lot_add(Parcels& parcels, const Args& params) {
    if (params.size() < 2) return usage("lot add NAME P1 P2 P3 ...");
    const Args vertices(params.begin() + 2, params.end());
    const WriteResult w = parcels.put(params[1], vertices, ParcelWrite::add, kOrigin);
    if (w.ok()) return kDone;
    if (w.status == WriteStatus::name_taken) {
        std::cerr << kProgram << ": " << printable(params[1]) << ": exists\n";
        return kNotChosen;
    }
    return write_failure(w);
}

int lot_delete(Parcels& parcels, const Args& params) {
    if (params.size() != 2) return usage("lot delete NAME");
    const WriteResult w = parcels.remove(params[1], kOrigin);
    return w.ok() ? kDone : write_failure(w);
}

}  // namespace

int run_lot(Job& job, const Args& params) {
    struct Sub {
        const char* name;
        int (*run)(Parcels&, const Args&);
    };
    constexpr Sub kSubs[] = {{"list", lot_list}, {"show", lot_show}, {"add", lot_add}, {"delete", lot_delete}};
    if (params.empty()) return usage("lot list|show NAME|add NAME P1 P2 ...|delete NAME");
    Parcels parcels(job.database());
    for (const Sub& s : kSubs)
        if (params[0] == s.name) return s.run(parcels, params);
    return usage("unknown lot command: " + params[0]);
}

}  // namespace marula::points_command

# What a type checker makes of code that uses mcjobs: mypy --strict checks this file (ctest
# Python.mypy; it is never run). A line that must be refused carries `type: ignore[code]`; should
# the stubs let it pass, the ignore is unused, which --strict reports.
from typing import List, Optional

import mcjobs


def schedule_words(instance: mcjobs.JobInstance) -> None:
    result = instance.schedule(2, hi_policy="llf", lo_policy="edf")
    verdict: bool = result["schedulable"]
    status: str = result.status
    if result.policy is not None:
        hi: str = result.policy["hi"]
    if result.failure is not None:
        bound: int = result.failure["bound"]
    document = result.to_dict()
    methods = {"heuristic", "portfolio", "exact"}
    assert verdict and status and document["method"] in methods
    instance.schedule(2, policy="lfl")  # type: ignore[arg-type]
    result["schedulabel"]  # type: ignore[call-overload]
    result.failure["kind"] == "deadline"  # type: ignore[index]
    if result.failure is not None:
        result.failure["bond"]  # type: ignore[typeddict-item]
    tables = result.tables
    if tables is not None:
        tables["mid"]  # type: ignore[index]


def exact_words(instance: mcjobs.JobInstance) -> float:
    result = instance.schedule(2, method="exact", time_limit=5)
    instance.schedule(2, method="heuristic")  # type: ignore[arg-type]
    instance.schedulable(2, method="exakt")  # type: ignore[arg-type]
    result.program["slots"]  # type: ignore[index]
    program = result["program"]
    return 0.0 if program is None else program["seconds"]


def stats_and_checks(instance: mcjobs.JobInstance) -> Optional[int]:
    stats = instance.stats(2)
    arcs: int = stats["arcs"]["hi"]
    stats["closure"]  # type: ignore[typeddict-item]
    violations = instance.verify_schedule(instance.schedule(1), 1)
    rules: List[str] = [violation["rule"] for violation in violations]
    instance.to_nptest(priority="alap")
    instance.to_nptest(priority="deadline")  # type: ignore[arg-type]
    assert rules or arcs >= 0
    horizon = stats["horizon"]
    return None if horizon is None else horizon["end"] - horizon["start"]


def values(instance: mcjobs.JobInstance) -> int:
    level: mcjobs.Level = instance.jobs[0].criticality
    ids = instance.transitive_successors_array(0, mcjobs.HI)
    instance.load(level=mcjobs.LO, processors=2)
    mcjobs.generate(seed=None, nodes=(10, 20), shape="layers")
    mcjobs.generate(seed=1, shape="tree")  # type: ignore[arg-type]
    return int(ids.sum()) + level

# Type stubs of the extension inside the package. Users see its names through mcjobs, whose
# stubs type them (the classes are mcjobs's, and checked there); this one adds what the
# package's own Python code calls here: generate and generate_many with options already
# converted, and the chunks of a study.
from typing import Any, Dict, List, Optional, Sequence, Union

from . import (HI as HI, LO as LO, __version__ as __version__, append_archive as append_archive,
               batch_seed as batch_seed, from_dot as from_dot, from_json as from_json,
               from_nptest as from_nptest, from_stg as from_stg, from_text as from_text,
               generate_options as generate_options, read as read, read_archive as read_archive)
from . import JobInstance

# Ints, floats, bools, text ("10..20") and lists of periods.
_OptionValue = Union[int, float, str, List[int], List[float]]

def generate(*, seed: int, **kwargs: _OptionValue) -> JobInstance: ...
def generate_many(n: int, *, seed: int, **kwargs: _OptionValue) -> List[JobInstance]: ...
# Columns seed, utilization_lo and utilization_hi, then per test its verdicts (and
# exact_status), then per test time_TEST.
def _study_chunk(
    options: Dict[str, _OptionValue],
    seeds: Sequence[int],
    tests: Sequence[str],
    time_limit: Optional[float] = None,
) -> Dict[str, List[Any]]: ...

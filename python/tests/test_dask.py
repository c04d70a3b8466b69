"""zorv.dask on a cluster of two worker processes on this machine (loopback only): the rows
selected partition by partition, and file by file, are the rows one process selects."""

import glob
import os
import tempfile
import unittest
import warnings

import numpy as np
import pandas as pd

import zorv

try:
    import dask.dataframe as dd
    from distributed import Client, LocalCluster

    import zorv.dask
except ImportError:  # pragma: no cover - the setup installs them
    dd = None


@unittest.skipIf(dd is None, "dask and distributed are not installed")
class Cluster(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with warnings.catch_warnings():
            # This tornado's own start-up warns of its deprecated event-loop handling.
            warnings.simplefilter("ignore", DeprecationWarning)
            cls.cluster = LocalCluster(
                n_workers=2,
                processes=True,
                threads_per_worker=1,
                host="127.0.0.1",
                dashboard_address=None,
            )
        try:
            cls.client = Client(cls.cluster)
        except BaseException:
            cls.cluster.close()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            cls.client.close()
        finally:
            cls.cluster.close()

    def frame(self):
        rng = np.random.default_rng(9)
        rows = 20_000
        x = np.round(rng.uniform(0, 20, rows), 2)
        x[rng.random(rows) < 0.05] = np.nan
        return pd.DataFrame(
            {
                "x": x,
                "y": rng.integers(0, 10, rows),
                "s": np.array(["ab", "cd", "Ab", "", None], dtype=object)[rng.integers(0, 5, rows)],
            }
        )

    def test_partitions_select_what_one_process_selects(self):
        df = self.frame()
        ddf = dd.from_pandas(df, npartitions=7)
        clause = zorv.Clause("x > 5 AND x < 10 AND y IN (1, 2, 3) OR s =: 'A'")
        got = zorv.dask.query(ddf, clause).compute()
        pd.testing.assert_frame_equal(got, zorv.query(df, clause))
        # The work ran in the workers, each of which loaded the library itself.
        versions = self.client.run(lambda: zorv.__version__)
        self.assertEqual(sorted(versions.values()), [zorv.__version__] * 2)
        with self.assertRaises(KeyError):
            zorv.dask.query(ddf, "z > 1")

    def test_files_select_what_one_process_selects(self):
        df = self.frame()
        clause = "x >= 15 OR s = 'cd' AND y < 2"
        with tempfile.TemporaryDirectory() as folder:
            for i, part in enumerate(np.array_split(df, 5)):
                part.to_csv(os.path.join(folder, "part-%d.csv" % i), index=False)
            # A file none of whose rows is selected.
            df.iloc[:10].assign(x=1.0, s="zz").to_csv(os.path.join(folder, "part-9.csv"), index=False)
            pattern = os.path.join(folder, "part-*.csv")
            got = zorv.dask.read_csv_filtered(pattern, clause)
            self.assertEqual(got.npartitions, 6)
            got = got.compute().reset_index(drop=True)
            # One process: every file read whole by pandas, then the clause.
            whole = pd.concat(
                [pd.read_csv(p) for p in sorted(glob.glob(pattern))], ignore_index=True
            )
        expected = zorv.query(whole, clause).reset_index(drop=True)
        self.assertGreater(len(expected), 1000)
        pd.testing.assert_frame_equal(got, expected)


if __name__ == "__main__":
    unittest.main()

"""Databases for the reader's tests: a real simulator run of the demo, and small
files written here with the service's own layout (or an older one)."""

import os
import shutil
import sqlite3
import subprocess
import tempfile

SCHEMA = """
CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY AUTOINCREMENT, LP_TYPE INTEGER, USER_ID VARCHAR,
  ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR, CHANGE_EVENT_KEY INTEGER, CREATION_TIME DATE,
  INDIRECTION_KEY INTEGER, DISPLAY_NAME VARCHAR);
CREATE TABLE ChangeEvents (KEY INTEGER PRIMARY KEY AUTOINCREMENT, EVENT_TIME VARCHAR,
  PROCESS_ENTRY_KEY INTEGER, LOAD_POINT_KEY INTEGER, EVENT_TYPE INTEGER);
CREATE TABLE Processes (KEY INTEGER PRIMARY KEY AUTOINCREMENT, PROCESS_PATH VARCHAR,
  PROCESS_FILE_NAME VARCHAR, FILE_SIZE VARCHAR, FILE_CREATED VARCHAR, FILE_MODIFIED VARCHAR,
  FILE_ACCESSED VARCHAR, VERSION VARCHAR, DESCRIPTION VARCHAR, COPYRIGHT VARCHAR, COMMENTS VARCHAR,
  COMPANY_NAME VARCHAR, INTERNAL_NAME VARCHAR, LEGAL_TRADEMARKS VARCHAR, ORIGINAL_FILE_NAME VARCHAR,
  PRODUCT_NAME VARCHAR, PRODUCT_VERSION VARCHAR, BROWSER_PROCESS VARCHAR, DIGITAL_SIGNATURE_KEY INTEGER,
  DOWNLOAD_DATA VARCHAR);
CREATE TABLE Indirection (KEY INTEGER PRIMARY KEY AUTOINCREMENT, LP_KEY INTEGER UNIQUE,
  ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR);
CREATE TABLE DigitalSignatures (KEY INTEGER PRIMARY KEY AUTOINCREMENT, SIGNER_NAME VARCHAR,
  SIGNER_EMAIL VARCHAR, SIGNED_TIME VARCHAR, VALID VARCHAR, COUNTER_SIGNER_KEY INTEGER);
CREATE TABLE SystemSetting (KEY INTEGER PRIMARY KEY AUTOINCREMENT, TYPE INTEGER, USER_ID VARCHAR,
  PATH VARCHAR, CURRENT_VALUE VARCHAR, CHANGE_EVENT_KEY INTEGER);
CREATE TABLE FileExtension (KEY INTEGER PRIMARY KEY AUTOINCREMENT, TYPE INTEGER, USER_ID VARCHAR,
  ENTRY_ID VARCHAR, VERB VARCHAR, ENTRY_VALUE VARCHAR, CHANGE_EVENT_KEY INTEGER);
CREATE TABLE ExtendedEvent (KEY INTEGER PRIMARY KEY AUTOINCREMENT, CHANGE_EVENT_KEY INTEGER UNIQUE,
  EX_EVENT_TYPE INTEGER, PARAM_0 VARCHAR, PARAM_1 VARCHAR, PARAM_2 VARCHAR, PARAM_3 VARCHAR,
  PARAM_4 VARCHAR, PARAM_5 VARCHAR);
"""

BRUMEVALE = os.environ["BRUMEVALE"]
BRUMEVALE_SIM = os.environ.get("BRUMEVALE_SIM", "")
EXAMPLES = os.environ.get("BRUMEVALE_EXAMPLES", "")
DATABASE_IN_IMAGE = os.path.join("drives", "C", "ProgramData", "Kelvra Security", "Brumevale",
                                 "Brumevale.data")


def run(*args, check_exit=None):
    """Runs brumevale with args; (exit code, stdout text, stderr text)."""
    done = subprocess.run([BRUMEVALE, *args], capture_output=True, timeout=300)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def make_database(path, script, params_rows=()):
    db = sqlite3.connect(path)
    db.executescript(script)
    db.commit()
    db.close()


def copy_demo(folder):
    image = os.path.join(folder, "demo-machine")
    shutil.copytree(os.path.join(EXAMPLES, "demo-machine"), image)
    return image


def play_demo(image, wait=True):
    command = [BRUMEVALE_SIM, "run", image, "--scenario", os.path.join(EXAMPLES, "demo.scenario")]
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    done = subprocess.run(command, capture_output=True, timeout=600)
    assert done.returncode == 0, done.stderr.decode()
    return os.path.join(image, DATABASE_IN_IMAGE)


def rows(path, sql):
    db = sqlite3.connect("file:" + path + "?mode=ro", uri=True)
    db.row_factory = sqlite3.Row
    found = [dict(r) for r in db.execute(sql)]
    db.close()
    return found


def temp_folder():
    return tempfile.mkdtemp(prefix="brumevale-reader-")
